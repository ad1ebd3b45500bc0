#include "CVersionDialog.h"

#include <cwchar>

#include "LocalizedStrings.h"
#include "ProductVersion.h"
#include "VersionIdentity.h"
#include "resource.h"

namespace {

// The second, third and fourth firmware rows: the dialog shows the first
// controller only, whatever was found.
constexpr int kFurtherRows[] = {
    IDC_MODEL_NAME_2, IDC_FIRMWARE_LINE_2, IDC_FIRMWARE_VERSION_2, IDC_MODEL_NAME_3, IDC_FIRMWARE_LINE_3,
    IDC_FIRMWARE_VERSION_3, IDC_MODEL_NAME_4, IDC_FIRMWARE_LINE_4, IDC_FIRMWARE_VERSION_4,
};

constexpr DWORD kRevisionsPerMajor = 100;

BOOL CALLBACK setChildFont(HWND child, LPARAM font) {
    SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
    return TRUE;
}

// The driver file in the Windows system directory; empty when its path does not
// fit the buffer (a cut path would name another file).
std::wstring driverFilePath() {
    wchar_t windows[kDriverPathSize] = {};
    const UINT length = GetWindowsDirectoryW(windows, kDriverPathSize);
    if (length == 0 || length >= kDriverPathSize) return {};
    // The format's "%s" gives way to the directory.
    const std::size_t needed = length + wcslen(kDriverFileFormat) - 2;
    if (needed >= kDriverPathSize) return {};
    wchar_t path[kDriverPathSize] = {};
    wsprintfW(path, kDriverFileFormat, windows);
    return path;
}

}  // namespace

CVersionDialog::CVersionDialog(HINSTANCE instance, HWND parent)
    : ModalDialog(instance, IDD_VERSION, parent), m_icon(LoadIconW(instance, MAKEINTRESOURCEW(IDI_VERSION))) {}

void CVersionDialog::loadString(UINT id, wchar_t* buffer) const {
    loadLocalizedString(instance(), kVersionPortugueseTable, id, buffer, kVersionTextSize);
}

void CVersionDialog::setItemString(int itemId, UINT stringId) {
    wchar_t text[kVersionTextSize];
    loadString(stringId, text);
    SetDlgItemTextW(hwnd(), itemId, text);
}

void CVersionDialog::showItem(int itemId, bool shown) { ShowWindow(item(itemId), shown ? SW_SHOW : SW_HIDE); }

BOOL CVersionDialog::onInitDialog() {
    ModalDialog::onInitDialog();
    SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));

    createDialogFont();

    wchar_t caption[kVersionTextSize];
    loadString(IDS_CAPTION, caption);
    SetWindowTextW(hwnd(), caption);
    setItemString(IDC_DRIVER_GROUP, IDS_DRIVER_GROUP);
    setItemString(IDC_FIRMWARE_GROUP, IDS_FIRMWARE_GROUP);

    const std::wstring path = driverFilePath();
    if (path.empty())
        m_driverVersion.clear();
    else
        readProductVersion(path.c_str());
    showDriverRow();

    refreshFirmwareRows();
    m_watch.registerDeviceWatch(hwnd());
    return TRUE;
}

void CVersionDialog::createDialogFont() {
    // The template's font has no Chinese, Japanese or Korean glyphs; the default
    // GUI font is linked to fonts that have them. Other languages keep the
    // template's font.
    if (!isCjkLanguage()) return;
    LOGFONTW logFont = {};
    if (!GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(logFont), &logFont)) return;
    m_font = CreateFontIndirectW(&logFont);
    if (m_font) EnumChildWindows(hwnd(), setChildFont, reinterpret_cast<LPARAM>(m_font));
}

void CVersionDialog::readProductVersion(const wchar_t* path) { m_driverVersion = readProductVersionText(path); }

void CVersionDialog::showDriverRow() {
    if (!m_driverVersion.empty()) {
        wchar_t format[kVersionTextSize];
        wchar_t text[kVersionTextSize];
        loadString(IDS_DRIVER_VERSION, format);
        const std::wstring shown = shortenProductVersion(m_driverVersion);
        wsprintfW(text, format, shown.c_str());
        SetDlgItemTextW(hwnd(), IDC_DRIVER_VERSION, text);
        setItemString(IDC_DRIVER_LABEL, IDS_DRIVER_PACK);
        return;
    }
    // No version: the two-line label carries the problem from its top, across the
    // place of the version and its separator.
    showItem(IDC_DRIVER_VERSION, false);
    showItem(IDC_DRIVER_LINE, false);
    HWND label = item(IDC_DRIVER_LABEL);
    SetWindowLongW(label, GWL_STYLE, GetWindowLongW(label, GWL_STYLE) & ~SS_CENTERIMAGE);
    setItemString(IDC_DRIVER_LABEL, IDS_DRIVER_PROBLEM);
}

void CVersionDialog::refreshFirmwareRows() {
    const FirmwareScan scan = scanControllers();
    for (int row : kFurtherRows) showItem(row, false);

    // A controller is found when the scan counted one, whatever its revision: one
    // that reports 0000 (or a revision that does not start with a digit) is
    // connected all the same, and shows Ver0.00.
    if (scan.count > 0) {
        showItem(IDC_NOT_CONNECTED, false);
        SetDlgItemTextW(hwnd(), IDC_MODEL_NAME, scan.names[0]);
        wchar_t format[kVersionTextSize];
        wchar_t text[kVersionTextSize];
        loadString(IDS_FIRMWARE_VERSION, format);
        wsprintfW(text, format, static_cast<int>(scan.revisions[0] / kRevisionsPerMajor),
                  static_cast<int>(scan.revisions[0] % kRevisionsPerMajor));
        SetDlgItemTextW(hwnd(), IDC_FIRMWARE_VERSION, text);
        showItem(IDC_MODEL_NAME, true);
        showItem(IDC_FIRMWARE_VERSION, true);
        showItem(IDC_FIRMWARE_LINE, true);
        return;
    }
    showItem(IDC_FIRMWARE_VERSION, false);
    showItem(IDC_MODEL_NAME, false);
    showItem(IDC_FIRMWARE_LINE, false);
    showItem(IDC_NOT_CONNECTED, true);
    setItemString(IDC_NOT_CONNECTED, IDS_NOT_CONNECTED);
}

LRESULT CVersionDialog::onDeviceChange(WPARAM event, LPARAM data) {
    if (m_watch.countChanged(event, data)) refreshFirmwareRows();
    return TRUE;
}

void CVersionDialog::onPaint() {
    PAINTSTRUCT paintInfo;
    HDC dc = BeginPaint(hwnd(), &paintInfo);
    SendMessageW(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(hwnd(), &client);
    DrawIcon(dc, (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2,
             (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2, m_icon);
    EndPaint(hwnd(), &paintInfo);
}

bool CVersionDialog::onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_PAINT:
        // Only the minimized window is drawn here; otherwise the dialog manager paints.
        if (!IsIconic(hwnd())) return false;
        onPaint();
        result = 0;
        return true;
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<LRESULT>(m_icon);
        return true;
    case WM_DEVICECHANGE:
        result = onDeviceChange(wParam, lParam);
        return true;
    default:
        return false;
    }
}

void CVersionDialog::onDestroy() {
    m_watch.stop();
    if (m_font) DeleteObject(m_font);
    m_font = nullptr;
}
