// The value of one Kernel Streaming property request and how it is handed to the
// caller's buffer under the size conventions Windows uses:
// - a value buffer of 0 bytes is a size query: ERROR_MORE_DATA with the size needed
//   as the byte count;
// - fixed-size values and texts: a smaller buffer gives ERROR_INSUFFICIENT_BUFFER
//   and 0 bytes;
// - KSMULTIPLE_ITEM lists: a 4-byte buffer receives the total size, an 8-byte buffer
//   the header alone, any other smaller buffer ERROR_INSUFFICIENT_BUFFER.
// Nothing is ever written past the caller's value size.
#pragma once

#include "VirtualController.h"

#include <vector>

class KsPropertyReply {
public:
    enum class Shape { Fixed, List, Text };

    KsPropertyReply() = default;
    KsPropertyReply(Shape shape, std::vector<BYTE> data) : m_shape(shape), m_data(std::move(data)) {}

    template <typename Value>
    static KsPropertyReply Of(const Value& value) {
        const BYTE* bytes = reinterpret_cast<const BYTE*>(&value);
        return KsPropertyReply(Shape::Fixed, std::vector<BYTE>(bytes, bytes + sizeof(Value)));
    }
    // A KSMULTIPLE_ITEM list of equal-sized items.
    static KsPropertyReply List(const void* items, ULONG count, ULONG itemSize);
    // A KSMULTIPLE_ITEM list of items laid out back to back (data ranges).
    static KsPropertyReply ListOfBlocks(const std::vector<std::vector<BYTE>>& blocks);
    static KsPropertyReply Text(const wchar_t* text);

    // Bends the reply the way a faulty device would.
    void Malform(MalformedReply kind);

    // Copies the value into the caller's buffer; a Win32 error code, 0 on success.
    DWORD Deliver(void* value, ULONG valueSize, ULONG& bytesReturned) const;

private:
    Shape m_shape = Shape::Fixed;
    std::vector<BYTE> m_data;
    bool m_shortReply = false;
    bool m_unterminated = false;
    bool m_shrunkSizeQuery = false;
};
