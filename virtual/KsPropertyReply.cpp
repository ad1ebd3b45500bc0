#include "KsPropertyReply.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

KsPropertyReply KsPropertyReply::List(const void* items, ULONG count, ULONG itemSize) {
    std::vector<BYTE> data(sizeof(KSMULTIPLE_ITEM) + size_t(count) * itemSize);
    auto* header = reinterpret_cast<KSMULTIPLE_ITEM*>(data.data());
    header->Size = ULONG(data.size());
    header->Count = count;
    if (count) std::memcpy(data.data() + sizeof(KSMULTIPLE_ITEM), items, size_t(count) * itemSize);
    return KsPropertyReply(Shape::List, std::move(data));
}

KsPropertyReply KsPropertyReply::ListOfBlocks(const std::vector<std::vector<BYTE>>& blocks) {
    std::vector<BYTE> data(sizeof(KSMULTIPLE_ITEM));
    for (const auto& block : blocks) data.insert(data.end(), block.begin(), block.end());
    auto* header = reinterpret_cast<KSMULTIPLE_ITEM*>(data.data());
    header->Size = ULONG(data.size());
    header->Count = ULONG(blocks.size());
    return KsPropertyReply(Shape::List, std::move(data));
}

KsPropertyReply KsPropertyReply::Text(const wchar_t* text) {
    size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
    const BYTE* begin = reinterpret_cast<const BYTE*>(text);
    return KsPropertyReply(Shape::Text, std::vector<BYTE>(begin, begin + bytes));
}

void KsPropertyReply::Malform(MalformedReply kind) {
    const bool list = m_shape == Shape::List && m_data.size() >= sizeof(KSMULTIPLE_ITEM);
    auto* header = list ? reinterpret_cast<KSMULTIPLE_ITEM*>(m_data.data()) : nullptr;
    // The first data range, when the list holds one.
    auto* firstRange = list && m_data.size() >= sizeof(KSMULTIPLE_ITEM) + sizeof(KSDATARANGE)
                           ? reinterpret_cast<KSDATARANGE*>(m_data.data() + sizeof(KSMULTIPLE_ITEM))
                           : nullptr;
    switch (kind) {
    case MalformedReply::None:
        break;
    case MalformedReply::ShortReply:
        m_shortReply = true;
        break;
    case MalformedReply::CountPastData:
        if (header) header->Count += 5;
        break;
    case MalformedReply::ZeroFormatSize:
        if (firstRange && header->Count) firstRange->FormatSize = 0;
        break;
    case MalformedReply::RangePastReply:
        if (firstRange && header->Count) firstRange->FormatSize = ULONG(m_data.size()) * 2;
        break;
    case MalformedReply::ShortFormatSize:
        if (firstRange && header->Count) firstRange->FormatSize = 40;
        break;
    case MalformedReply::SizePastData:
        if (header) {
            header->Count += 5;
            header->Size = ULONG(m_data.size()) * 2;
        }
        break;
    case MalformedReply::UnterminatedText:
        m_unterminated = m_shape == Shape::Text;
        break;
    case MalformedReply::ShrunkSizeQuery:
        m_shrunkSizeQuery = true;
        break;
    case MalformedReply::AllOnes:
        if (m_shape == Shape::Fixed) std::fill(m_data.begin(), m_data.end(), BYTE(0xFF));
        break;
    }
}

DWORD KsPropertyReply::Deliver(void* value, ULONG valueSize, ULONG& bytesReturned) const {
    const ULONG needed = ULONG(m_data.size());
    bytesReturned = 0;
    if (valueSize == 0) {
        // A list that grew between the size query and the request looks like this.
        bytesReturned = m_shrunkSizeQuery && needed > 2 * sizeof(KSMULTIPLE_ITEM) ? needed - 8 : needed;
        return ERROR_MORE_DATA;
    }
    if (!value) return ERROR_NOACCESS;
    if (m_unterminated) {
        // A name copied into whatever room there is, its terminator lost.
        std::memset(value, 'N', valueSize);
        bytesReturned = valueSize;
        return ERROR_SUCCESS;
    }
    if (m_shape == Shape::List && valueSize < needed) {
        if (valueSize == sizeof(ULONG)) {
            std::memcpy(value, &needed, sizeof(ULONG));
            bytesReturned = sizeof(ULONG);
            return ERROR_SUCCESS;
        }
        if (valueSize == sizeof(KSMULTIPLE_ITEM)) {
            std::memcpy(value, m_data.data(), sizeof(KSMULTIPLE_ITEM));
            bytesReturned = sizeof(KSMULTIPLE_ITEM);
            return ERROR_SUCCESS;
        }
    }
    if (valueSize < needed) return ERROR_INSUFFICIENT_BUFFER;
    ULONG delivered = m_shortReply ? needed / 2 : needed;
    std::memcpy(value, m_data.data(), delivered);
    bytesReturned = delivered;
    return ERROR_SUCCESS;
}
