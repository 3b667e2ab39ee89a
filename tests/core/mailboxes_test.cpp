#include "core/mailboxes.h"

#include <windows.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/language.h"
#include "core/text_string.h"

namespace {

class Mailboxes : public ::testing::Test {
protected:
    void SetUp() override { Drain(); }
    void TearDown() override {
        Drain();
        SetUserMessagesEnabled(true);
        SetErrorEventMode(0);
    }
    static void Drain() {
        TakePendingMessage(nullptr);
        TakePendingEvent(nullptr, nullptr);
    }
};

// Writer w's text: w + 'A' repeated (w + 1) x 97 times, so a torn or mixed copy is visible.
std::string WriterText(int writer) {
    return std::string(static_cast<size_t>(writer + 1) * 97, static_cast<char>('A' + writer));
}

bool IsWholeWriterText(const CTexto& text, int* writer) {
    if (text.GetLength() == 0)
        return false;
    int w = text.GetAt(0) - 'A';
    if (w < 0 || w >= 26)
        return false;
    *writer = w;
    return WriterText(w) == text.GetText();
}

}  // namespace

TEST_F(Mailboxes, LastMessageWinsAndTakingClears) {
    EXPECT_FALSE(HasPendingMessage());
    EXPECT_EQ(SetPendingMessage("first"), 1);
    EXPECT_EQ(SetPendingMessage("second"), 1);
    EXPECT_TRUE(HasPendingMessage());

    CTexto text("untouched");
    ASSERT_TRUE(TakePendingMessage(&text));
    EXPECT_STREQ(text.GetText(), "second");
    EXPECT_FALSE(HasPendingMessage());
    EXPECT_FALSE(TakePendingMessage(&text));
    EXPECT_STREQ(text.GetText(), "second") << "nothing waiting leaves the output alone";
}

TEST_F(Mailboxes, EventKeepsNameAndValueTogether) {
    SetPendingEvent("filenotfound", "a.jpg");
    SetPendingEvent("other", "b.jpg");
    CTexto name, value;
    ASSERT_TRUE(TakePendingEvent(&name, &value));
    EXPECT_STREQ(name.GetText(), "other");
    EXPECT_STREQ(value.GetText(), "b.jpg");
    EXPECT_FALSE(HasPendingEvent());
}

TEST_F(Mailboxes, LocalizedErrorUsesTheNextLineAndTheDetail) {
    ReportLocalizedError(1, "C:\\tour\\pano.jpg");
    CTexto text;
    ASSERT_TRUE(TakePendingMessage(&text));
    std::string expected = std::string(GetLanguageLine(2)) + "\nC:\\tour\\pano.jpg";
    EXPECT_EQ(expected, text.GetText());

    SetUserMessagesEnabled(false);
    ReportLocalizedError(1, "hidden");
    EXPECT_FALSE(HasPendingMessage());

    SetUserMessagesEnabled(true);
    ReportLocalizedError(-1, "bad index");
    ReportLocalizedError(INT_MAX, "bad index");
    EXPECT_FALSE(HasPendingMessage());
}

TEST_F(Mailboxes, ConcurrentWritersNeverTearATextOrMixAnEvent) {
    constexpr int kWriters = 6;
    constexpr int kWrites = 2000;
    std::atomic<bool> done{false};
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; w++) {
        writers.emplace_back([w] {
            std::string text = WriterText(w);
            std::string name = "event" + std::to_string(w);
            for (int i = 0; i < kWrites; i++) {
                SetPendingMessage(text.c_str());
                SetPendingEvent(name.c_str(), text.c_str());
            }
        });
    }
    int taken = 0;
    std::thread reader([&] {
        CTexto text, name, value;
        bool last = false;
        // One more round after the writers are done, so the final texts are checked too.
        while (!last) {
            last = done.load();
            int writer = -1;
            if (TakePendingMessage(&text)) {
                ASSERT_TRUE(IsWholeWriterText(text, &writer)) << text.GetText();
                taken++;
            }
            if (TakePendingEvent(&name, &value)) {
                ASSERT_TRUE(IsWholeWriterText(value, &writer));
                ASSERT_EQ("event" + std::to_string(writer), name.GetText());
            }
        }
    });
    for (std::thread& t : writers)
        t.join();
    done = true;
    reader.join();
    EXPECT_GT(taken, 0);
}

TEST_F(Mailboxes, UserMessagesSwitchDecidesWhetherErrorsReachTheUser) {
    // On by default: a reported error waits for the UI thread.
    ReportLocalizedError(1, "first.jpg");
    EXPECT_TRUE(HasPendingMessage());
    CTexto text;
    TakePendingMessage(&text);

    SetUserMessagesEnabled(false);
    ReportLocalizedError(1, "second.jpg");
    EXPECT_FALSE(HasPendingMessage()) << "switched off, errors stay silent";
    SetUserMessagesEnabled(true);
    ReportLocalizedError(1, "third.jpg");
    ASSERT_TRUE(TakePendingMessage(&text));
    EXPECT_NE(std::string(text.GetText()).find("third.jpg"), std::string::npos);
}
