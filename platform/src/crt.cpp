// The C run-time's wide file calls over the machine's files.
#include <cerrno>
#include <cstdio>
#include <string>

#include "internal.h"
#include "win/crt.h"

FILE* _wfopen(const WCHAR* fileName, const WCHAR* mode) {
    if (!fileName || !mode) {
        errno = EINVAL;
        return nullptr;
    }
    // fopen's own modes; "t" (text) reads and writes the bytes as they are.
    std::string hostMode;
    for (const WCHAR* m = mode; *m; ++m) {
        if (*m == u't') continue;
        if (*m != u'r' && *m != u'w' && *m != u'a' && *m != u'+' && *m != u'b') {
            errno = EINVAL;
            return nullptr;
        }
        hostMode += static_cast<char>(*m);
    }
    if (hostMode.empty() || (hostMode[0] != 'r' && hostMode[0] != 'w' && hostMode[0] != 'a')) {
        errno = EINVAL;
        return nullptr;
    }
    if (platform::detail::takeFault("_wfopen", platform::toUtf8(fileName))) {
        errno = EACCES;
        return nullptr;
    }
    auto resolved = platform::detail::resolvePath(fileName);
    if (resolved.error != ERROR_SUCCESS) {
        errno = EINVAL;
        return nullptr;
    }
    return std::fopen(resolved.host.c_str(), (hostMode + "e").c_str());
}

errno_t _wcsupr_s(WCHAR* text, size_t size) {
    if (!text) {
        errno = EINVAL;
        return EINVAL;
    }
    size_t length = 0;
    while (length < size && text[length]) ++length;
    if (length == size) {  // no terminator within the buffer: emptied, as the run-time does
        if (size) text[0] = 0;
        errno = EINVAL;
        return EINVAL;
    }
    for (size_t i = 0; i < length; ++i) text[i] = platform::detail::foldCase(text[i]);
    return 0;
}

int _wcsicmp(const WCHAR* first, const WCHAR* second) {
    auto lower = [](WCHAR c) -> int {
        const WCHAR folded = platform::detail::foldCase(c);
        return folded >= u'A' && folded <= u'Z' ? folded + (u'a' - u'A') : folded;
    };
    for (;; ++first, ++second) {
        const int a = lower(*first), b = lower(*second);
        if (a != b || !a) return a - b;
    }
}
