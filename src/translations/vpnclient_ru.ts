<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>AContextMenu</name>
    <message>
        <source>Cut</source>
        <translation>Вырезать</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Копировать</translation>
    </message>
    <message>
        <source>Paste</source>
        <translation>Вставить</translation>
    </message>
</context>
<context>
    <name>ARadioButton</name>
    <message>
        <source>RadioButton</source>
        <translation>Переключатель</translation>
    </message>
</context>
<context>
    <name>Application</name>
    <message>
        <source>New version found.
Do you want to update to version %1?</source>
        <translation>Найдена новая версия.
Обновить до версии %1?</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Обновить</translation>
    </message>
    <message>
        <source>Skip</source>
        <translation>Пропустить</translation>
    </message>
</context>
<context>
    <name>ConnectionStatus</name>
    <message>
        <source>Connecting</source>
        <translation>Подключение</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Подключено</translation>
    </message>
    <message>
        <source>Disconnecting</source>
        <translation>Отключение</translation>
    </message>
    <message>
        <source>Blocked</source>
        <translation>Заблокировано</translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation>Отключено</translation>
    </message>
    <message>
        <source>The %1 service (vpn-service) is not running, so no VPN connection can be made. Start it, or reinstall %1; it is found again by itself.</source>
        <translation>Служба %1 (vpn-service) не запущена, поэтому VPN-подключение невозможно. Запустите её или переустановите %1; служба будет найдена автоматически.</translation>
    </message>
    <message>
        <source>This computer cannot make a VPN tunnel: no TUN/TAP device is available. Install the driver or ask your administrator, then start %1 again.</source>
        <translation>Этот компьютер не может создать VPN-туннель: нет устройства TUN/TAP. Установите драйвер или обратитесь к администратору, затем снова запустите %1.</translation>
    </message>
    <message>
        <source>No user name or password is stored. Enter your account in Settings.</source>
        <translation>Имя пользователя или пароль не сохранены. Введите учётную запись в настройках.</translation>
    </message>
    <message>
        <source>The VPN provider refused your user name or password. Correct them in Settings.</source>
        <translation>VPN-провайдер отклонил имя пользователя или пароль. Исправьте их в настройках.</translation>
    </message>
    <message>
        <source>The VPN server did not answer. Try again, or choose another server location.</source>
        <translation>VPN-сервер не ответил. Попробуйте ещё раз или выберите другое расположение сервера.</translation>
    </message>
    <message>
        <source>The VPN connection failed: %1. Try again, or choose another server location.</source>
        <translation>Не удалось подключиться к VPN: %1. Попробуйте ещё раз или выберите другое расположение сервера.</translation>
    </message>
    <message>
        <source>The VPN connection was lost. Switch on to connect again.</source>
        <translation>VPN-подключение потеряно. Включите, чтобы подключиться снова.</translation>
    </message>
    <message>
        <source>The network lock blocks all Internet traffic until the VPN connection is back.</source>
        <translation>Блокировка сети закрывает весь интернет-трафик, пока VPN-подключение не восстановится.</translation>
    </message>
    <message>
        <source>The network lock blocks all Internet traffic because the VPN connection is down. Reconnect, or switch off to lift the lock.</source>
        <translation>Блокировка сети закрывает весь интернет-трафик, потому что VPN-подключение разорвано. Переподключитесь или выключите VPN, чтобы снять блокировку.</translation>
    </message>
    <message>
        <source>The network lock stays on while the VPN is off and blocks all Internet traffic. Switch on to connect, or turn it off in Settings.</source>
        <translation>Блокировка сети остаётся включённой, пока VPN выключен, и закрывает весь интернет-трафик. Включите VPN или отключите блокировку в настройках.</translation>
    </message>
    <message>
        <source>The VPN provider cannot be reached, so the server list is missing. Check your Internet connection; %1 keeps trying.</source>
        <translation>VPN-провайдер недоступен, поэтому списка серверов нет. Проверьте подключение к Интернету; %1 продолжает попытки.</translation>
    </message>
    <message>
        <source>The VPN connection was lost.</source>
        <translation>VPN-подключение потеряно.</translation>
    </message>
    <message>
        <source>Open Settings</source>
        <translation>Открыть настройки</translation>
    </message>
    <message>
        <source>Reconnect</source>
        <translation>Переподключиться</translation>
    </message>
</context>
<context>
    <name>FooterItem</name>
    <message>
        <source>Settings</source>
        <translation>Настройки</translation>
    </message>
</context>
<context>
    <name>LockNotice</name>
    <message>
        <source>Internet blocked by the network lock</source>
        <translation>Доступ в Интернет закрыт блокировкой сети</translation>
    </message>
    <message>
        <source>The network lock keeps all traffic off the network so that nothing leaves outside the VPN.</source>
        <translation>Блокировка сети не пропускает трафик, чтобы ничего не ушло в сеть мимо VPN.</translation>
    </message>
    <message>
        <source>Reconnect</source>
        <translation>Переподключиться</translation>
    </message>
    <message>
        <source>Stay blocked until I disconnect</source>
        <translation>Оставить блокировку до отключения</translation>
    </message>
    <message>
        <source>Disconnect and lift the lock</source>
        <translation>Отключиться и снять блокировку</translation>
    </message>
</context>
<context>
    <name>OpenVpnClient</name>
    <message>
        <source>OpenVPN server is empty!</source>
        <translation>Сервер OpenVPN не задан!</translation>
    </message>
    <message>
        <source>OpenVPN could not be started (code %1)</source>
        <translation>Не удалось запустить OpenVPN (код %1)</translation>
    </message>
    <message>
        <source>The VPN server did not answer in time</source>
        <translation>VPN-сервер не ответил вовремя</translation>
    </message>
    <message>
        <source>Error: Username or password contains a line break</source>
        <translation>Ошибка: имя пользователя или пароль содержит перевод строки</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>B</source>
        <translation>Б</translation>
    </message>
    <message>
        <source>KiB</source>
        <translation>КиБ</translation>
    </message>
    <message>
        <source>MiB</source>
        <translation>МиБ</translation>
    </message>
    <message>
        <source>GiB</source>
        <translation>ГиБ</translation>
    </message>
    <message>
        <source>TiB</source>
        <translation>ТиБ</translation>
    </message>
</context>
<context>
    <name>ServerListHeader</name>
    <message>
        <source>Serverlist</source>
        <translation>Список серверов</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
</context>
<context>
    <name>ServerListModel</name>
    <message>
        <source>Not selected</source>
        <translation>Не выбран</translation>
    </message>
    <message>
        <source>Server list unavailable</source>
        <translation>Нет списка серверов</translation>
    </message>
</context>
<context>
    <name>ServerListWindow</name>
    <message>
        <source>No items to display</source>
        <translation>Нет элементов для отображения</translation>
    </message>
    <message>
        <source>The server list cannot be loaded. Trying again...</source>
        <translation>Не удаётся загрузить список серверов. Пробуем снова...</translation>
    </message>
</context>
<context>
    <name>SettingsWindow</name>
    <message>
        <source>General</source>
        <translation>Общие</translation>
    </message>
    <message>
        <source>Advanced</source>
        <translation>Дополнительно</translation>
    </message>
    <message>
        <source>Authentication</source>
        <translation>Аутентификация</translation>
    </message>
    <message>
        <source>Username</source>
        <translation>Имя пользователя</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Пароль</translation>
    </message>
    <message>
        <source>Connect to the last used location when %1 is launched</source>
        <translation>Подключаться к последнему серверу при запуске %1</translation>
    </message>
    <message>
        <source>Re-establish VPN connection if disconnected or dropped</source>
        <translation>Восстанавливать VPN-подключение при разрыве</translation>
    </message>
    <message>
        <source>Protocol</source>
        <translation>Протокол</translation>
    </message>
    <message>
        <source>UDP - OpenVPN</source>
        <translation>UDP - OpenVPN</translation>
    </message>
    <message>
        <source>This usually offers the best combination of speed and security, but may not work
on all networks</source>
        <translation>Обычно даёт лучшее сочетание скорости и безопасности, но может не работать
во всех сетях</translation>
    </message>
    <message>
        <source>TCP - OpenVPN</source>
        <translation>TCP - OpenVPN</translation>
    </message>
    <message>
        <source>This is more likely to function on all types of networks, but might be slower than UDP</source>
        <translation>Работает в большинстве сетей, но может быть медленнее UDP</translation>
    </message>
    <message>
        <source>MTU Size</source>
        <translation>Размер MTU</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>Авто</translation>
    </message>
    <message>
        <source>Manual</source>
        <translation>Вручную</translation>
    </message>
    <message>
        <source>Auto Update</source>
        <translation>Автообновление</translation>
    </message>
    <message>
        <source>Automatically update application</source>
        <translation>Обновлять приложение автоматически</translation>
    </message>
    <message>
        <source>Show logs</source>
        <translation>Журналы</translation>
    </message>
    <message>
        <source>Show logs collected by application</source>
        <translation>Показать журналы, собранные приложением</translation>
    </message>
    <message>
        <source>Show logs folder</source>
        <translation>Открыть папку журналов</translation>
    </message>
    <message>
        <source>Keep %1 running in the notification area when its window is closed</source>
        <translation>Оставлять %1 в области уведомлений при закрытии окна</translation>
    </message>
    <message>
        <source>Show notifications when the VPN connection changes</source>
        <translation>Показывать уведомления об изменениях VPN-подключения</translation>
    </message>
    <message>
        <source>Startup and notification area</source>
        <translation>Запуск и область уведомлений</translation>
    </message>
    <message>
        <source>%1 Settings</source>
        <translation>Настройки %1</translation>
    </message>
    <message>
        <source>Settings pages</source>
        <translation>Разделы настроек</translation>
    </message>
    <message>
        <source>Scroll the settings</source>
        <translation>Прокрутка настроек</translation>
    </message>
    <message>
        <source>Hide</source>
        <translation>Скрыть</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Показать</translation>
    </message>
    <message>
        <source>Hide password</source>
        <translation>Скрыть пароль</translation>
    </message>
    <message>
        <source>Show password</source>
        <translation>Показать пароль</translation>
    </message>
    <message>
        <source>Save account</source>
        <translation>Сохранить учётную запись</translation>
    </message>
    <message>
        <source>Account saved</source>
        <translation>Учётная запись сохранена</translation>
    </message>
    <message>
        <source>Launch %1 at sign-in</source>
        <translation>Запускать %1 при входе в систему</translation>
    </message>
    <message>
        <source>Network lock</source>
        <translation>Блокировка сети</translation>
    </message>
    <message>
        <source>Enable the network lock: no Internet traffic while the VPN is down</source>
        <translation>Включить блокировку сети: без VPN трафик в Интернет не идёт</translation>
    </message>
    <message>
        <source>The network lock ensures your Internet traffic goes through the %1 secure tunnel
and stops all traffic if %1 disconnects unexpectedly</source>
        <translation>Блокировка сети направляет ваш трафик через защищённый туннель %1
и останавливает весь трафик при неожиданном отключении %1</translation>
    </message>
    <message>
        <source>Allow access to local network devices such as shared printers</source>
        <translation>Разрешить доступ к устройствам локальной сети, например к общим принтерам</translation>
    </message>
</context>
<context>
    <name>StatusPanel</name>
    <message>
        <source>VPN state: %1</source>
        <translation>Состояние VPN: %1</translation>
    </message>
</context>
<context>
    <name>TrayIcon</name>
    <message>
        <source>Show window</source>
        <translation>Показать окно</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Выйти</translation>
    </message>
    <message>
        <source>Disconnecting...</source>
        <translation>Отключение...</translation>
    </message>
    <message>
        <source>Connecting...</source>
        <translation>Подключение...</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Подключено</translation>
    </message>
    <message>
        <source>Internet blocked by the network lock</source>
        <translation>Доступ в Интернет закрыт блокировкой сети</translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation>Отключено</translation>
    </message>
    <message>
        <source>IP address: %1</source>
        <translation>IP-адрес: %1</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>Отключиться</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Подключиться</translation>
    </message>
    <message>
        <source>%1 keeps running in the notification area. Quit it from the icon&apos;s menu.</source>
        <translation>%1 продолжает работать в области уведомлений. Выйти из программы можно через меню значка.</translation>
    </message>
</context>
<context>
    <name>TrayNotifier</name>
    <message>
        <source>VPN connected</source>
        <translation>VPN-подключение установлено</translation>
    </message>
    <message>
        <source>VPN reconnected</source>
        <translation>VPN-подключение восстановлено</translation>
    </message>
    <message>
        <source>VPN connection lost</source>
        <translation>VPN-подключение потеряно</translation>
    </message>
    <message>
        <source>Reconnecting...</source>
        <translation>Переподключение...</translation>
    </message>
    <message>
        <source>VPN disconnected</source>
        <translation>VPN отключён</translation>
    </message>
    <message>
        <source>The VPN connection ended unexpectedly.</source>
        <translation>VPN-подключение неожиданно прервалось.</translation>
    </message>
    <message>
        <source>Reconnection failed</source>
        <translation>Не удалось переподключиться</translation>
    </message>
    <message>
        <source>The VPN connection could not be re-established.</source>
        <translation>Не удалось восстановить VPN-подключение.</translation>
    </message>
</context>
<context>
    <name>VpnConnectionButton</name>
    <message>
        <source>SWITCH ON</source>
        <translation>ВКЛЮЧИТЬ</translation>
    </message>
    <message>
        <source>SWITCH OFF</source>
        <translation>ВЫКЛЮЧИТЬ</translation>
    </message>
    <message>
        <source>DURATION</source>
        <translation>ВРЕМЯ</translation>
    </message>
    <message>
        <source>VPN</source>
        <translation>VPN</translation>
    </message>
    <message>
        <source>CONNECTING...</source>
        <translation>ПОДКЛЮЧЕНИЕ...</translation>
    </message>
    <message>
        <source>DISCONNECTING...</source>
        <translation>ОТКЛЮЧЕНИЕ...</translation>
    </message>
</context>
<context>
    <name>VpnConnectionInfo</name>
    <message>
        <source>Server location</source>
        <translation>Расположение сервера</translation>
    </message>
    <message>
        <source>Downloaded</source>
        <translation>Получено</translation>
    </message>
    <message>
        <source>Uploaded</source>
        <translation>Отправлено</translation>
    </message>
</context>
<context>
    <name>VpnCore</name>
    <message>
        <source>Updating...</source>
        <translation>Обновление...</translation>
    </message>
    <message>
        <source>VPN server IP is empty!</source>
        <translation>Не задан IP-адрес VPN-сервера!</translation>
    </message>
    <message>
        <source>VPN server IP is not a valid address!</source>
        <translation>IP-адрес VPN-сервера недопустим!</translation>
    </message>
    <message>
        <source>Username or password is empty!</source>
        <translation>Не заданы имя пользователя или пароль!</translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation>Отключено</translation>
    </message>
    <message>
        <source>Connecting...</source>
        <translation>Подключение...</translation>
    </message>
    <message>
        <source>Disconnecting...</source>
        <translation>Отключение...</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Подключено</translation>
    </message>
    <message>
        <source>Error!</source>
        <translation>Ошибка!</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Неизвестно</translation>
    </message>
    <message>
        <source>Auto reconnection</source>
        <translation>Автоматическое переподключение</translation>
    </message>
    <message>
        <source>Your current IP</source>
        <translation>Ваш текущий IP</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Ошибка</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Disconnection in progress...</source>
        <translation>Выполняется отключение...</translation>
    </message>
    <message>
        <source>Killswitch event</source>
        <translation>Срабатывание блокировки сети</translation>
    </message>
    <message>
        <source>Connection to Internet is blocked</source>
        <translation>Доступ в Интернет заблокирован</translation>
    </message>
    <message>
        <source>Choose a server location first</source>
        <translation>Сначала выберите расположение сервера</translation>
    </message>
    <message>
        <source>The server list cannot be loaded. Trying again...</source>
        <translation>Не удаётся загрузить список серверов. Пробуем снова...</translation>
    </message>
    <message>
        <source>The server list is loading...</source>
        <translation>Список серверов загружается...</translation>
    </message>
    <message>
        <source>Scroll the window</source>
        <translation>Прокрутка окна</translation>
    </message>
</context>
</TS>
