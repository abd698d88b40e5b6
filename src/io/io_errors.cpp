#include "io/io_errors.h"

#include <system_error>

namespace quorvane {

namespace {

// Characters that show nothing or change how the text around them shows: C1 controls,
// no-break and zero-width spaces, soft hyphen, direction marks and overrides, the byte
// order mark.
bool IsInvisible(unsigned long c) {
    return (c >= 0x80 && c <= 0xA0) || c == 0xAD || (c >= 0x200B && c <= 0x200F) ||
           (c >= 0x2028 && c <= 0x202F) || (c >= 0x2060 && c <= 0x206F) || c == 0xFEFF;
}

}  // namespace

Utf8Character DecodeUtf8(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned long codePoint = 0;
    if (lead < 0x80) {
        return {1, lead};
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07u;
    } else {
        return {};
    }
    if (text.size() < length) return {};
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0u) != 0x80u) return {};
        codePoint = (codePoint << 6) | (byte(i) & 0x3Fu);
    }
    constexpr unsigned long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    if (codePoint < kSmallest[length] || codePoint > 0x10FFFF || surrogate) return {};
    return {length, codePoint};
}

EInOutError InOutError(const std::string& failure, const std::string& reason) {
    return EInOutError(failure + ": " + reason);
}

EInOutError InOutErrorFromErrno(const std::string& failure, int error) {
    return InOutError(failure, std::generic_category().message(error));
}

std::string Quoted(std::string_view text, std::size_t maxCharacters) {
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string shown = "\"";
    std::size_t characters = 0;
    while (!text.empty()) {
        if (characters == maxCharacters) {
            shown += "...";
            break;
        }
        const auto c = static_cast<unsigned char>(text[0]);
        const Utf8Character character = DecodeUtf8(text);
        const std::size_t length = IsInvisible(character.codePoint) ? 0 : character.length;
        if (length == 0 || c < 0x20 || c == 0x7F) {
            shown += {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
            text.remove_prefix(1);
        } else {
            shown.append(text.substr(0, length));
            text.remove_prefix(length);
        }
        ++characters;
    }
    return shown + "\"";
}

}  // namespace quorvane
