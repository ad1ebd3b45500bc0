// The description text of the settings dialog. In Chinese, Japanese and Korean
// it is painted by us, wrapped at any character (those languages put no spaces
// between words, so the standard word wrapping would not break the lines); in
// every other language the control paints itself as usual.
#pragma once

#include "StaticControl.h"

class CDescriptionStatic : public StaticControl {
public:
    void setStandardPainting(bool standard) { m_standardPainting = standard; }
    // The font to paint with; the dialog owns it.
    void setFont(HFONT font) { m_font = font; }

protected:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void paintWrapped();

    bool m_standardPainting = false;
    HFONT m_font = nullptr;
};
