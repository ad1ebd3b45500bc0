#include "CConfigDialog.h"

#include <commctrl.h>

#include <initializer_list>

#include "DataExchange.h"
#include "PanelIdentity.h"
#include "PanelSettings.h"
#include "PanelStrings.h"
#include "resource.h"

namespace {

constexpr long kSamplesPerBlockUnit = 64;
// Latency in tenths of a millisecond: blockNum x 64 samples x 10000 / rate.
constexpr long kTenthMillisecondsPerBlockUnit = kSamplesPerBlockUnit * 10000;
constexpr long kSliderMin = 1;
constexpr long kSliderMax = 30;
constexpr long kMinToggleNum = 2;

constexpr int kStandardButtonPadding = 24;
constexpr int kStandardButtonMaxWidth = 170;
constexpr int kAnchorOffsetX = 35;
constexpr int kAnchorOffsetY = 2;
constexpr int kConnectorDrop = 7;
constexpr int kConnectorLength = 29;
constexpr COLORREF kConnectorColour = RGB(128, 128, 128);

BOOL CALLBACK setChildFont(HWND child, LPARAM font) {
    SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
    return TRUE;
}

}  // namespace

CConfigDialog::CConfigDialog(HINSTANCE instance, HWND parent)
    : ModalDialog(instance, IDD_CONFIG, parent), m_icon(LoadIconW(instance, MAKEINTRESOURCEW(IDI_PANEL))) {}

void CConfigDialog::setBlockNum(long blockNum) {
    m_blockNum = blockNum;
    updateApplyButton();
}

void CConfigDialog::setBitResolution(long bitResolution) {
    m_bitResolution = bitResolution;
    updateApplyButton();
}

void CConfigDialog::setToggleNum(long toggleNum) {
    m_toggleNum = toggleNum;
    updateApplyButton();
}

void CConfigDialog::updateApplyButton() {
    if (!hwnd()) return;
    const bool changed = m_blockNum != m_appliedBlockNum || m_bitResolution != m_appliedBitResolution ||
                         m_toggleNum != m_appliedToggleNum;
    EnableWindow(item(IDC_APPLY), changed);
}

void CConfigDialog::refreshBufferTexts() {
    wchar_t format[kPanelTextSize];
    wchar_t text[kPanelTextSize];
    loadPanelString(instance(), IDS_SAMPLES, format);
    wsprintfW(text, format, static_cast<int>(m_blockNum * kSamplesPerBlockUnit));
    SetDlgItemTextW(hwnd(), IDC_SAMPLES, text);

    // Truncated, never rounded: the text shows what the buffer at least costs.
    const long tenths = m_blockNum * kTenthMillisecondsPerBlockUnit / m_sampleRate;
    wchar_t latency[kPanelTextSize];
    loadPanelString(instance(), IDS_LATENCY_VALUE, format);
    wsprintfW(latency, format, static_cast<int>(tenths / 10), static_cast<int>(tenths % 10));
    wsprintfW(text, L"%s (%dHz)", latency, static_cast<int>(m_sampleRate));
    SetDlgItemTextW(hwnd(), IDC_LATENCY, text);
}

void CConfigDialog::doDataExchange(DataExchange& exchange) { exchange.control(IDC_DESCRIPTION, m_description); }

BOOL CConfigDialog::onInitDialog() {
    ModalDialog::onInitDialog();
    SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));

    createDialogFont();

    HWND kernelBuffers = item(IDC_KERNEL_BUFFERS);
    for (const wchar_t* count : {L"2", L"3", L"4"})
        SendMessageW(kernelBuffers, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(count));
    SendMessageW(kernelBuffers, CB_SETCURSEL, m_toggleNum - kMinToggleNum, 0);

    setItemString(IDC_KERNEL_LABEL, IDS_KERNEL_BUFFERS);
    setItemString(IDC_BIT_LABEL, IDS_BIT_DEPTH);
    CheckDlgButton(hwnd(), IDC_BIT16, m_bitResolution == 0 ? BST_CHECKED : BST_UNCHECKED);
    setItemString(IDC_BIT16, IDS_BIT16);
    CheckDlgButton(hwnd(), IDC_BIT24, m_bitResolution != 0 ? BST_CHECKED : BST_UNCHECKED);
    setItemString(IDC_BIT24, IDS_BIT24);

    HWND slider = item(IDC_BUFFER_SLIDER);
    SendMessageW(slider, TBM_SETRANGE, TRUE, MAKELPARAM(kSliderMin, kSliderMax));
    SendMessageW(slider, TBM_SETPOS, TRUE, m_blockNum);
    SendMessageW(slider, TBM_SETPAGESIZE, 0, 1);

    refreshBufferTexts();

    setItemString(IDOK, IDS_OK);
    setItemString(IDCANCEL, IDS_CANCEL);
    setItemString(IDC_APPLY, IDS_APPLY);
    setItemString(IDC_BUFFER_LABEL, IDS_BUFFER_SIZE);
    setItemString(IDC_LATENCY_LABEL, IDS_LATENCY);
    setItemString(IDC_DESCRIPTION, IDS_DESCRIPTION);

    sizeStandardButton();
    setItemString(IDC_STANDARD, IDS_STANDARD);

    wchar_t caption[kPanelShortTextSize];
    loadPanelString(instance(), IDS_CAPTION, caption);
    SetWindowTextW(hwnd(), caption);

    computeAnchors();

    m_appliedBlockNum = m_blockNum;
    m_appliedBitResolution = m_bitResolution;
    m_appliedToggleNum = m_toggleNum;
    updateApplyButton();
    return TRUE;
}

void CConfigDialog::createDialogFont() {
    LOGFONTW logFont = {};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(logFont), &logFont);
    m_font = CreateFontIndirectW(&logFont);
    // The template's font has no Chinese, Japanese or Korean glyphs; the default
    // GUI font is linked to fonts that have them.
    if (isCjkLanguage())
        EnumChildWindows(hwnd(), setChildFont, reinterpret_cast<LPARAM>(m_font));
    else
        m_description.setStandardPainting(true);
    m_description.setFont(m_font);
}

void CConfigDialog::setItemString(int itemId, UINT stringId) {
    wchar_t text[kPanelTextSize];
    loadPanelString(instance(), stringId, text);
    SetDlgItemTextW(hwnd(), itemId, text);
}

RECT CConfigDialog::windowRect(LONG* clientTop) const {
    RECT window;
    GetWindowRect(hwnd(), &window);
    *clientTop = window.top + GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYDLGFRAME);
    return window;
}

void CConfigDialog::sizeStandardButton() {
    HWND button = item(IDC_STANDARD);
    wchar_t text[kPanelTextSize];
    loadPanelString(instance(), IDS_STANDARD, text);
    SIZE extent = {};
    HDC dc = GetDC(button);
    HGDIOBJ previous = SelectObject(dc, m_font);
    GetTextExtentPoint32W(dc, text, lstrlenW(text), &extent);
    SelectObject(dc, previous);
    ReleaseDC(button, dc);

    int width = extent.cx + kStandardButtonPadding;
    if (width > kStandardButtonMaxWidth) width = kStandardButtonMaxWidth;
    LONG top = 0;
    const RECT window = windowRect(&top);
    RECT bounds;
    GetWindowRect(button, &bounds);
    // Keeps the button's right edge where the template put it and grows it leftwards.
    MoveWindow(button, bounds.right - window.left - width, bounds.top - top, width, bounds.bottom - bounds.top, TRUE);
}

void CConfigDialog::computeAnchors() {
    LONG top = 0;
    const RECT window = windowRect(&top);
    RECT samples;
    RECT latency;
    GetWindowRect(item(IDC_SAMPLES), &samples);
    GetWindowRect(item(IDC_LATENCY), &latency);
    m_samplesAnchor = {samples.left - window.left - kAnchorOffsetX, samples.top - top - kAnchorOffsetY};
    m_latencyAnchor = {samples.left - window.left - kAnchorOffsetX, latency.top - top - kAnchorOffsetY};
}

void CConfigDialog::paint() {
    PAINTSTRUCT paintInfo;
    HDC dc = BeginPaint(hwnd(), &paintInfo);
    if (IsIconic(hwnd())) {
        SendMessageW(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        RECT client;
        GetClientRect(hwnd(), &client);
        DrawIcon(dc, (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2,
                 (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2, m_icon);
    } else {
        // The connector lines lead from the buffer size's slider area to its two texts.
        HPEN pen = CreatePen(PS_SOLID, 1, kConnectorColour);
        HGDIOBJ previous = SelectObject(dc, pen);
        for (const POINT& anchor : {m_samplesAnchor, m_latencyAnchor}) {
            MoveToEx(dc, anchor.x, anchor.y, nullptr);
            LineTo(dc, anchor.x, anchor.y + kConnectorDrop);
            LineTo(dc, anchor.x + kConnectorLength, anchor.y + kConnectorDrop);
        }
        SelectObject(dc, previous);
        DeleteObject(pen);
    }
    EndPaint(hwnd(), &paintInfo);
}

void CConfigDialog::onSliderMoved() {
    HWND slider = item(IDC_BUFFER_SLIDER);
    m_blockNum = static_cast<long>(SendMessageW(slider, TBM_GETPOS, 0, 0));
    SendMessageW(slider, TBM_SETPOS, TRUE, m_blockNum);
    refreshBufferTexts();
    updateApplyButton();
}

void CConfigDialog::onStandardSetting() {
    m_toggleNum = kStandardSettings.toggleNum;
    SendMessageW(item(IDC_KERNEL_BUFFERS), CB_SETCURSEL, m_toggleNum - kMinToggleNum, 0);
    m_bitResolution = kStandardSettings.bitResolution;
    CheckDlgButton(hwnd(), IDC_BIT16, BST_UNCHECKED);
    CheckDlgButton(hwnd(), IDC_BIT24, BST_CHECKED);
    m_blockNum = kStandardSettings.blockNum;
    SendMessageW(item(IDC_BUFFER_SLIDER), TBM_SETPOS, TRUE, m_blockNum);
    refreshBufferTexts();
    updateApplyButton();
}

void CConfigDialog::onApply() {
    if (m_blockNum != m_appliedBlockNum || m_bitResolution != m_appliedBitResolution ||
        m_toggleNum != m_appliedToggleNum) {
        // A failed write is not reported; the driver is told all the same and
        // keeps whatever the store holds.
        WritePanelSettings(m_blockNum, m_bitResolution, m_toggleNum);
        // The driver in a host process asks its host for a reset, so the next init
        // reads the new values. The call returns once that window has handled it.
        if (HWND driverWindow = FindWindowW(kDriverWindowClass, nullptr))
            SendMessageW(driverWindow, kDriverResetMessage, 0, 0);
    }
    m_appliedBlockNum = m_blockNum;
    m_appliedBitResolution = m_bitResolution;
    m_appliedToggleNum = m_toggleNum;
    updateApplyButton();
}

void CConfigDialog::onOK() {
    onApply();
    ModalDialog::onOK();
}

void CConfigDialog::onDestroy() {
    m_description.detach();
    if (m_font) DeleteObject(m_font);
    m_font = nullptr;
}

bool CConfigDialog::onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_PAINT:
        paint();
        result = 0;
        return true;
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<LRESULT>(m_icon);
        return true;
    case WM_HSCROLL:
        if (reinterpret_cast<HWND>(lParam) == item(IDC_BUFFER_SLIDER)) onSliderMoved();
        // The dialog manager's own handling follows.
        return false;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_APPLY:
            if (HIWORD(wParam) == BN_CLICKED) onApply();
            return true;
        case IDC_STANDARD:
            if (HIWORD(wParam) == BN_CLICKED) onStandardSetting();
            return true;
        case IDC_BIT16:
            if (HIWORD(wParam) == BN_CLICKED) {
                m_bitResolution = 0;
                updateApplyButton();
            }
            return true;
        case IDC_BIT24:
            if (HIWORD(wParam) == BN_CLICKED) {
                m_bitResolution = 1;
                updateApplyButton();
            }
            return true;
        case IDC_KERNEL_BUFFERS:
            if (HIWORD(wParam) == CBN_SELCHANGE) {
                m_toggleNum = static_cast<long>(SendMessageW(item(IDC_KERNEL_BUFFERS), CB_GETCURSEL, 0, 0)) +
                              kMinToggleNum;
                updateApplyButton();
            }
            return true;
        default:
            return false;
        }
    default:
        return false;
    }
}
