// The settings panel's dialog: buffer size (in steps of 64 samples) with the
// latency it gives at the stored sample rate, bit depth and number of kernel
// buffers. Apply writes the three values and tells a running driver; OK applies
// and closes; Cancel closes without writing.
#pragma once

#include "CDescriptionStatic.h"
#include "ModalDialog.h"

class CConfigDialog : public ModalDialog {
public:
    explicit CConfigDialog(HINSTANCE instance, HWND parent = nullptr);

    // The stored values, handed over before the dialog runs.
    void setBlockNum(long blockNum);
    void setBitResolution(long bitResolution);
    void setToggleNum(long toggleNum);
    void setSampleRate(long sampleRate) { m_sampleRate = sampleRate; }

    // Apply is enabled exactly while an editable value differs from the one last
    // loaded or applied. Does nothing before the window exists.
    void updateApplyButton();
    // The samples and latency texts for the current buffer size.
    void refreshBufferTexts();

protected:
    void doDataExchange(DataExchange& exchange) override;
    BOOL onInitDialog() override;
    void onOK() override;
    void onDestroy() override;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void createDialogFont();
    void sizeStandardButton();
    void computeAnchors();
    void paint();
    void onSliderMoved();
    void onStandardSetting();
    void onApply();
    void setItemString(int item, UINT stringId);
    // The dialog's window rectangle and the top of its client area in screen pixels,
    // as the button placement and the connector anchors measure from them.
    RECT windowRect(LONG* clientTop) const;

    HICON m_icon;
    CDescriptionStatic m_description;
    long m_blockNum = 4;
    long m_bitResolution = 1;
    long m_toggleNum = 3;
    long m_sampleRate = 44100;
    long m_appliedBlockNum = 4;
    long m_appliedBitResolution = 1;
    long m_appliedToggleNum = 3;
    POINT m_samplesAnchor = {};
    POINT m_latencyAnchor = {};
    HFONT m_font = nullptr;
};
