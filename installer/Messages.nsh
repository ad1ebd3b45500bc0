; The setup program's own messages, in every language it offers. The pages
; themselves come with NSIS's language files.
;   MSG_IN_USE           the driver or one of the programs is in use
;   MSG_REGISTER_FAILED  regsvr32 failed: $1 is the driver file, $0 its exit code
;   MSG_RUN_VERSION      the finish page's offer to start the version utility

LangString MSG_IN_USE ${LANG_ENGLISH} "The Veltrix KMX ASIO driver or one of its programs is in use.$\r$\n$\r$\nClose every audio program that uses the driver, the settings panel and the version utility, then click Retry."
LangString MSG_REGISTER_FAILED ${LANG_ENGLISH} "The driver $1 could not be registered (regsvr32 exit code $0).$\r$\n$\r$\nSetup has stopped. Run it again as an administrator."
LangString MSG_RUN_VERSION ${LANG_ENGLISH} "Show the installed driver version"

LangString MSG_IN_USE ${LANG_GERMAN} "Der Veltrix KMX ASIO-Treiber oder eines seiner Programme wird gerade verwendet.$\r$\n$\r$\nSchließen Sie alle Audioprogramme, die den Treiber verwenden, das Einstellungsprogramm und das Versionsprogramm, und klicken Sie dann auf Wiederholen."
LangString MSG_REGISTER_FAILED ${LANG_GERMAN} "Der Treiber $1 konnte nicht registriert werden (regsvr32-Rückgabewert $0).$\r$\n$\r$\nDas Setup wurde angehalten. Starten Sie es erneut als Administrator."
LangString MSG_RUN_VERSION ${LANG_GERMAN} "Installierte Treiberversion anzeigen"

LangString MSG_IN_USE ${LANG_FRENCH} "Le pilote Veltrix KMX ASIO ou l'un de ses programmes est en cours d'utilisation.$\r$\n$\r$\nFermez tous les programmes audio qui utilisent le pilote, le panneau de réglages et l'utilitaire de version, puis cliquez sur Réessayer."
LangString MSG_REGISTER_FAILED ${LANG_FRENCH} "Le pilote $1 n'a pas pu être enregistré (code de sortie de regsvr32 : $0).$\r$\n$\r$\nL'installation s'est arrêtée. Relancez-la en tant qu'administrateur."
LangString MSG_RUN_VERSION ${LANG_FRENCH} "Afficher la version du pilote installé"

LangString MSG_IN_USE ${LANG_ITALIAN} "Il driver Veltrix KMX ASIO o uno dei suoi programmi è in uso.$\r$\n$\r$\nChiudere tutti i programmi audio che usano il driver, il pannello delle impostazioni e l'utilità della versione, quindi fare clic su Riprova."
LangString MSG_REGISTER_FAILED ${LANG_ITALIAN} "Impossibile registrare il driver $1 (codice di uscita di regsvr32: $0).$\r$\n$\r$\nL'installazione si è interrotta. Eseguirla di nuovo come amministratore."
LangString MSG_RUN_VERSION ${LANG_ITALIAN} "Mostra la versione del driver installato"

LangString MSG_IN_USE ${LANG_SPANISHINTERNATIONAL} "El controlador Veltrix KMX ASIO o uno de sus programas está en uso.$\r$\n$\r$\nCierre todos los programas de audio que usan el controlador, el panel de configuración y la utilidad de versión, y haga clic en Reintentar."
LangString MSG_REGISTER_FAILED ${LANG_SPANISHINTERNATIONAL} "No se pudo registrar el controlador $1 (código de salida de regsvr32: $0).$\r$\n$\r$\nLa instalación se ha detenido. Vuelva a ejecutarla como administrador."
LangString MSG_RUN_VERSION ${LANG_SPANISHINTERNATIONAL} "Mostrar la versión del controlador instalado"

LangString MSG_IN_USE ${LANG_DUTCH} "Het Veltrix KMX ASIO-stuurprogramma of een van zijn programma's is in gebruik.$\r$\n$\r$\nSluit alle audioprogramma's die het stuurprogramma gebruiken, het instellingenpaneel en het versieprogramma, en klik dan op Opnieuw."
LangString MSG_REGISTER_FAILED ${LANG_DUTCH} "Het stuurprogramma $1 kon niet worden geregistreerd (afsluitcode van regsvr32: $0).$\r$\n$\r$\nDe installatie is gestopt. Voer haar opnieuw uit als beheerder."
LangString MSG_RUN_VERSION ${LANG_DUTCH} "Versie van het geïnstalleerde stuurprogramma weergeven"

LangString MSG_IN_USE ${LANG_PORTUGUESEBR} "O driver Veltrix KMX ASIO ou um de seus programas está em uso.$\r$\n$\r$\nFeche todos os programas de áudio que usam o driver, o painel de configurações e o utilitário de versão e clique em Repetir."
LangString MSG_REGISTER_FAILED ${LANG_PORTUGUESEBR} "Não foi possível registrar o driver $1 (código de saída do regsvr32: $0).$\r$\n$\r$\nA instalação foi interrompida. Execute-a novamente como administrador."
LangString MSG_RUN_VERSION ${LANG_PORTUGUESEBR} "Mostrar a versão do driver instalado"

LangString MSG_IN_USE ${LANG_PORTUGUESE} "O controlador Veltrix KMX ASIO ou um dos seus programas está em utilização.$\r$\n$\r$\nFeche todos os programas de áudio que utilizam o controlador, o painel de definições e o utilitário de versão e clique em Repetir."
LangString MSG_REGISTER_FAILED ${LANG_PORTUGUESE} "Não foi possível registar o controlador $1 (código de saída do regsvr32: $0).$\r$\n$\r$\nA instalação foi interrompida. Execute-a novamente como administrador."
LangString MSG_RUN_VERSION ${LANG_PORTUGUESE} "Mostrar a versão do controlador instalado"

LangString MSG_IN_USE ${LANG_RUSSIAN} "Драйвер Veltrix KMX ASIO или одна из его программ используется.$\r$\n$\r$\nЗакройте все звуковые программы, использующие драйвер, панель настроек и утилиту версии, затем нажмите «Повтор»."
LangString MSG_REGISTER_FAILED ${LANG_RUSSIAN} "Не удалось зарегистрировать драйвер $1 (код завершения regsvr32: $0).$\r$\n$\r$\nУстановка остановлена. Запустите её снова от имени администратора."
LangString MSG_RUN_VERSION ${LANG_RUSSIAN} "Показать версию установленного драйвера"

LangString MSG_IN_USE ${LANG_JAPANESE} "Veltrix KMX ASIO ドライバー、またはそのプログラムが使用中です。$\r$\n$\r$\nドライバーを使用しているオーディオ ソフトウェア、設定パネル、バージョン ユーティリティをすべて閉じてから、[再試行] をクリックしてください。"
LangString MSG_REGISTER_FAILED ${LANG_JAPANESE} "ドライバー $1 を登録できませんでした (regsvr32 の終了コード $0)。$\r$\n$\r$\nセットアップを中止しました。管理者として再度実行してください。"
LangString MSG_RUN_VERSION ${LANG_JAPANESE} "インストールされたドライバーのバージョンを表示する"

LangString MSG_IN_USE ${LANG_KOREAN} "Veltrix KMX ASIO 드라이버 또는 그 프로그램이 사용 중입니다.$\r$\n$\r$\n드라이버를 사용하는 모든 오디오 프로그램, 설정 패널 및 버전 유틸리티를 닫은 다음 [다시 시도]를 클릭하십시오."
LangString MSG_REGISTER_FAILED ${LANG_KOREAN} "드라이버 $1을(를) 등록할 수 없습니다 (regsvr32 종료 코드 $0).$\r$\n$\r$\n설치가 중지되었습니다. 관리자 권한으로 다시 실행하십시오."
LangString MSG_RUN_VERSION ${LANG_KOREAN} "설치된 드라이버 버전 표시"

LangString MSG_IN_USE ${LANG_SIMPCHINESE} "Veltrix KMX ASIO 驱动程序或其程序正在使用中。$\r$\n$\r$\n请关闭所有使用该驱动程序的音频程序、设置面板和版本实用程序，然后单击“重试”。"
LangString MSG_REGISTER_FAILED ${LANG_SIMPCHINESE} "无法注册驱动程序 $1（regsvr32 退出代码 $0）。$\r$\n$\r$\n安装已停止。请以管理员身份重新运行。"
LangString MSG_RUN_VERSION ${LANG_SIMPCHINESE} "显示已安装的驱动程序版本"

LangString MSG_IN_USE ${LANG_TRADCHINESE} "Veltrix KMX ASIO 驅動程式或其程式正在使用中。$\r$\n$\r$\n請關閉所有使用該驅動程式的音訊程式、設定面板和版本公用程式，然後按一下「重試」。"
LangString MSG_REGISTER_FAILED ${LANG_TRADCHINESE} "無法註冊驅動程式 $1（regsvr32 結束代碼 $0）。$\r$\n$\r$\n安裝已停止。請以系統管理員身分重新執行。"
LangString MSG_RUN_VERSION ${LANG_TRADCHINESE} "顯示已安裝的驅動程式版本"
