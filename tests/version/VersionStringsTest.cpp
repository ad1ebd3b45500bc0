// The version utility's string tables, read through the localized string loader
// from the utility's own resources (linked into this program): every text of the
// twelve tables, the table each installer language picks, and no text beyond the
// numbers the utility uses.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "LocalizedStrings.h"
#include "PanelTestSupport.h"
#include "VersionIdentity.h"
#include "resource.h"

namespace {

constexpr UINT kStringIds[] = {IDS_DRIVER_PROBLEM, IDS_DRIVER_VERSION, IDS_NOT_CONNECTED,
                               IDS_CAPTION, IDS_DRIVER_PACK, IDS_DRIVER_GROUP, IDS_FIRMWARE_GROUP,
                               IDS_FIRMWARE_VERSION};

struct Table {
    WORD language;
    const wchar_t* texts[8];  // in the order of kStringIds
};

const Table kTables[] = {
    {1033,
     {L"There is a problem with the driver configuration. Please reinstall the drivers.",
      L"Ver%s",
      L"Your Veltrix KMX is not connected.",
      L"Veltrix KMX Version",
      L"Windows Driver Pack",
      L"Driver",
      L"Firmware",
      L"Ver%d.%02d"}},
    {1031,
     {L"Es gibt ein Problem mit der Treiber-Konfiguration. Bitte installieren Sie die Treiber erneut.",
      L"Ver%s",
      L"Ihr Veltrix KMX ist nicht angeschlossen.",
      L"Version Veltrix KMX",
      L"Windows Treiber-Pack",
      L"Treiber",
      L"Firmware",
      L"Ver%d.%02d"}},
    {1036,
     {L"Il y a un problème avec la configuration de pilote. Veuillez réinstaller les pilotes.",
      L"Ver. %s",
      L"Votre Veltrix KMX n'est pas connecté.",
      L"Version de Veltrix KMX",
      L"Ensemble Pilotes Windows",
      L"Pilote",
      L"Microprogramme",
      L"Ver. %d.%02d"}},
    {1040,
     {L"Vi è un problema nella configurazione dei driver. Si raccomanda di reinstallare i driver.",
      L"versione %s",
      L"Il Veltrix KMX non è collegato.",
      L"Versione per Veltrix KMX",
      L"Pacchetto di driver Windows",
      L"Driver",
      L"Firmware",
      L"versione %d.%02d"}},
    {3082,
     {L"Hay un problema con la configuración del controlador. Instale de nuevo los controladores.",
      L"Ver%s",
      L"Su Veltrix KMX no está conectado.",
      L"Versión del Veltrix KMX",
      L"Controlador de Windows",
      L"Controlador",
      L"Firmware",
      L"Ver%d.%02d"}},
    {1043,
     {L"Er is een probleem met de configuratie van de stuurprogrammatuur. Installeer de stuurprogrammatuur opnieuw.",
      L"Ver%s",
      L"Uw Veltrix KMX is niet aangesloten.",
      L"Veltrix KMX Versie",
      L"Windows stuurprogrammapakket",
      L"Stuurprogramma",
      L"Firmware",
      L"Ver%d.%02d"}},
    {2070,
     {L"Há um problema com a configuração do driver. Reinstale por favor os drivers.",
      L"Versão %s",
      L"O seu Veltrix KMX não está ligado.",
      L"Versão Veltrix KMX",
      L"Pacote de Driver para Windows",
      L"Driver",
      L"Firmware",
      L"Versão %d.%02d"}},
    {1049,
     {L"Имеются проблемы с конфигурацией драйвера. Пожалуйста, переустановите драйвер.",
      L"версии %s",
      L"Устройство Veltrix KMX не подсоединено.",
      L"Версия Veltrix KMX",
      L"Пакет драйверов Windows",
      L"Драйвер",
      L"Встроенное программное обеспечение",
      L"версии %d.%02d"}},
    {1041,
     {L"ドライバの構成に問題があります。ドライバを再インストールしてください。",
      L"Ver%s",
      L"Veltrix KMXは接続されていません。",
      L"Veltrix KMXバージョン",
      L"Windows ドライバパック",
      L"ドライバ",
      L"ファームウェア",
      L"Ver%d.%02d"}},
    {1042,
     {L"드라이버 구성에 문제가 있습니다. 드라이버를 다시 설치하십시오.",
      L"Ver%s",
      L"Veltrix KMX가 연결되지 않았습니다.",
      L"Veltrix KMX 버전",
      L"Windows 드라이버 팩",
      L"드라이버",
      L"펌웨어",
      L"Ver%d.%02d"}},
    {2052,
     {L"驱动程序配置出错。请重新安装驱动程序。",
      L"Ver%s",
      L"没有连接Veltrix KMX。",
      L"Veltrix KMX版本",
      L"Windows驱动程序包",
      L"驱动程序",
      L"固件",
      L"Ver%d.%02d"}},
    {1028,
     {L"驅動程式設定出現問題。請重新安裝驅動程式。",
      L"%s版",
      L"未連接 Veltrix KMX。",
      L"Veltrix KMX 版本",
      L"Windows驅動程式封包",
      L"驅動程式",
      L"韌體",
      L"%d.%02d版"}},
};

std::wstring Load(UINT id) {
    wchar_t text[kVersionTextSize];
    loadLocalizedString(GetModuleHandleW(nullptr), kVersionPortugueseTable, id, text, kVersionTextSize);
    return text;
}

TEST(VersionStrings, EveryTableHoldsItsTexts) {
    for (const Table& table : kTables) {
        paneltest::ScratchInstallLanguage language;
        language.setNumber(table.language);
        for (size_t i = 0; i < sizeof(kStringIds) / sizeof(kStringIds[0]); ++i)
            EXPECT_EQ(Load(kStringIds[i]), table.texts[i]) << "table " << table.language << ", string " << kStringIds[i];
        // The numbers between and after the used ones carry no text.
        for (UINT unused : {3u, 9u, 11u, 17u}) EXPECT_EQ(Load(unused), L"") << table.language << " " << unused;
    }
}

TEST(VersionStrings, InstallerLanguagesPickTheirTable) {
    const struct {
        DWORD installer;
        const wchar_t* caption;
    } cases[] = {
        {0, L"Veltrix KMX Version"},
        {2057, L"Veltrix KMX Version"},            // English (United Kingdom)
        {3079, L"Version Veltrix KMX"},            // German (Austria)
        {1046, L"Versão Veltrix KMX"},             // Portuguese (Brazil): the table of Portugal
        {2070, L"Versão Veltrix KMX"},
        {1034, L"Versión del Veltrix KMX"},        // Spanish (traditional sort)
        {2052, L"Veltrix KMX版本"},
        {1028, L"Veltrix KMX 版本"},
        {3076, L"Veltrix KMX Version"},            // Chinese (Hong Kong): no table, English
        {1045, L"Veltrix KMX Version"},            // Polish: not carried
    };
    for (const auto& c : cases) {
        paneltest::ScratchInstallLanguage language;
        if (c.installer) language.setNumber(c.installer);
        EXPECT_EQ(Load(IDS_CAPTION), c.caption) << c.installer;
    }
}

}  // namespace
