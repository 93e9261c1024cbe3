// Base64 (standard alphabet, "=" padding) of a byte sequence: what the
// controller sends; shared by zebsim and the link tests.
#ifndef B64ENCODE_H
#define B64ENCODE_H

#include <string>
#include <vector>

inline std::string Base64Encode(const std::vector<int> &bytes)
{
    static const char a[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string s;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        unsigned v = (unsigned)bytes[i] << 16;
        if (i + 1 < bytes.size())
            v |= (unsigned)bytes[i + 1] << 8;
        if (i + 2 < bytes.size())
            v |= (unsigned)bytes[i + 2];
        s += a[(v >> 18) & 63];
        s += a[(v >> 12) & 63];
        s += i + 1 < bytes.size() ? a[(v >> 6) & 63] : '=';
        s += i + 2 < bytes.size() ? a[v & 63] : '=';
    }
    return s;
}

#endif
