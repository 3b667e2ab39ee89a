// Names written in tour scripts, parameters and command arguments made absolute against the
// folder or URL of the document that mentions them.
#pragma once

class CTexto;

// Size of the name buffer MakeAbsolutePath works in.
constexpr int kPathBufferSize = 2048;

// name (a buffer of kPathBufferSize bytes, changed in place) made absolute against base: an
// http:// or rtsp:// URL, a file: URL or a folder ending in its separator. Left unchanged when
// it is empty, the base is null or empty, it holds a ':' (drive letters, URLs), it begins with
// two backslashes, it names a camera ("webcam..." without a '.'), or the result would not fit.
// "." and ".." segments are resolved.
void MakeAbsolutePath(char* name, const char* base);

// text made absolute against base; with a fallback, the fallback is used instead unless the
// result against base names an entry of the running package. Null bases leave the name alone.
void ResolvePath(CTexto& text, const CTexto* base, const CTexto* fallback);
