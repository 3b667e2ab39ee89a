/* The blitter benchmark's yardstick: the same bilinear scaling, source-alpha blend and
 * conversions to 32 bits done by pixman, in destination megapixels per second (best of the
 * runs, one thread). Built and run natively by bench/blit_bench.sh.
 * Output lines: "<case> pixman <megapixels per second>". */
#include <pixman.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static double seconds(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

static uint32_t *random_pixels(size_t n, uint32_t seed)
{
    uint8_t *v = malloc(n * 4 + 16);
    for (size_t i = 0; i < n * 4 + 16; i++) {
        seed = seed * 1664525u + 1013904223u;
        v[i] = (uint8_t)(seed >> 24);
    }
    return (uint32_t *)v;
}

static void report(const char *name, int runs, double pixels, pixman_op_t op, pixman_image_t *src,
                   pixman_image_t *dst, int w, int h)
{
    double best = 1e30;
    pixman_image_composite32(op, src, NULL, dst, 0, 0, 0, 0, 0, 0, w, h);
    for (int i = 0; i < runs; i++) {
        double t0 = seconds();
        pixman_image_composite32(op, src, NULL, dst, 0, 0, 0, 0, 0, 0, w, h);
        double t = seconds() - t0;
        if (t < best)
            best = t;
    }
    printf("%s pixman %.1f\n", name, pixels / best / 1e6);
    fflush(stdout);
}

int main(int argc, char **argv)
{
    int runs = argc > 1 ? atoi(argv[1]) : 5;
    const int dw = 1920, dh = 1080;
    uint32_t *dbits = random_pixels((size_t)dw * dh, 13);
    pixman_image_t *dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, dw, dh, dbits, dw * 4);
    if (runs < 1)
        runs = 1;

    static const struct { const char *name; int w, h; } scales[] = {
        {"bilinear_4096x2048", 4096, 2048}, {"bilinear_1024x1024", 1024, 1024}};
    for (int i = 0; i < 2; i++) {
        int sw = scales[i].w, sh = scales[i].h;
        uint32_t *bits = random_pixels((size_t)sw * sh, 7);
        pixman_image_t *src = pixman_image_create_bits(PIXMAN_a8r8g8b8, sw, sh, bits, sw * 4);
        pixman_transform_t t;
        pixman_transform_init_scale(&t, pixman_double_to_fixed((double)sw / dw),
                                    pixman_double_to_fixed((double)sh / dh));
        pixman_image_set_transform(src, &t);
        pixman_image_set_filter(src, PIXMAN_FILTER_BILINEAR, NULL, 0);
        pixman_image_set_repeat(src, PIXMAN_REPEAT_PAD);
        report(scales[i].name, runs, (double)dw * dh, PIXMAN_OP_SRC, src, dst, dw, dh);
        pixman_image_unref(src);
        free(bits);
    }

    {
        uint32_t *bits = random_pixels((size_t)dw * dh, 11);
        pixman_image_t *src = pixman_image_create_bits(PIXMAN_a8r8g8b8, dw, dh, bits, dw * 4);
        report("alpha_blend_1920x1080", runs, (double)dw * dh, PIXMAN_OP_OVER, src, dst, dw, dh);
        pixman_image_unref(src);
        free(bits);
    }

    {
        uint32_t *bits = random_pixels((size_t)dw * dh, 17);
        int stride24 = (dw * 3 + 3) & ~3;
        pixman_image_t *src = pixman_image_create_bits(PIXMAN_r8g8b8, dw, dh, bits, stride24);
        report("convert_24_to_32", runs, (double)dw * dh, PIXMAN_OP_SRC, src, dst, dw, dh);
        pixman_image_unref(src);
        src = pixman_image_create_bits(PIXMAN_r5g6b5, dw, dh, bits, dw * 2);
        report("convert_16_to_32", runs, (double)dw * dh, PIXMAN_OP_SRC, src, dst, dw, dh);
        pixman_image_unref(src);
        free(bits);
    }
    pixman_image_unref(dst);
    free(dbits);
    return 0;
}
