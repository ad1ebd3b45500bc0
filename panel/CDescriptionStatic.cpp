#include "CDescriptionStatic.h"

#include <vector>

namespace {
constexpr int kLineHeight = 16;
// A line holds at most this many characters; the shipped layout never comes near.
constexpr int kMaxLineLength = 255;
}  // namespace

LRESULT CDescriptionStatic::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_PAINT || m_standardPainting) return defaultProc(message, wParam, lParam);
    paintWrapped();
    return 0;
}

void CDescriptionStatic::paintWrapped() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd(), &paint);
    HGDIOBJ previousFont = m_font ? SelectObject(dc, m_font) : nullptr;
    SetBkMode(dc, TRANSPARENT);

    std::vector<wchar_t> text(GetWindowTextLengthW(hwnd()) + 1);
    const int length = GetWindowTextW(hwnd(), text.data(), static_cast<int>(text.size()));
    RECT bounds;
    GetClientRect(hwnd(), &bounds);
    const LONG width = bounds.right - bounds.left;

    int position = 0;
    while (position < length) {
        // Grow the line one character at a time until it is wider than the
        // control, then end it one character before the longest part that fitted.
        int lineLength = 0;
        while (position + lineLength < length && text[position + lineLength] != L'\n' &&
               lineLength < kMaxLineLength) {
            ++lineLength;
            SIZE extent = {};
            GetTextExtentPoint32W(dc, &text[position], lineLength, &extent);
            if (extent.cx > width) {
                // At least one character per line, so a control too narrow for two
                // still gets every character painted and the loop always ends.
                lineLength = lineLength > 2 ? lineLength - 2 : 1;
                break;
            }
        }
        if (lineLength > 0) DrawTextW(dc, &text[position], lineLength, &bounds, 0);
        position += lineLength;
        if (position < length && text[position] == L'\n') ++position;
        bounds.top += kLineHeight;
    }

    if (previousFont) SelectObject(dc, previousFont);
    EndPaint(hwnd(), &paint);
}
