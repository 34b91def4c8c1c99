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
    <name>FooterItem</name>
    <message>
        <source>Settings</source>
        <translation>Настройки</translation>
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
        <source>Update</source>
        <translation>Обновить</translation>
    </message>
    <message>
        <source>Updated</source>
        <translation>Обновлено</translation>
    </message>
    <message>
        <source>Launch %1 on %2 startup</source>
        <translation>Запускать %1 при старте %2</translation>
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
        <source>Kill switch</source>
        <translation>Блокировка сети</translation>
    </message>
    <message>
        <source>Enable Network lock (Internet kill switch). Available only for OpenVPN</source>
        <translation>Включить блокировку сети (kill switch). Только для OpenVPN</translation>
    </message>
    <message>
        <source>Network Lock ensures your Internet traffic goes through %1 secure tunnel
and stops all traffic if %1 disconnects unexpectedly</source>
        <translation>Блокировка сети направляет ваш трафик через защищённый туннель %1
и останавливает весь трафик при неожиданном отключении %1</translation>
    </message>
    <message>
        <source>Allow access to local network devices such as shares printers</source>
        <translation>Разрешить доступ к устройствам локальной сети, например к общим принтерам</translation>
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
    <message>
        <source>No tunnel can be made on this computer: the VPN service cannot use TUN (%1)</source>
        <translation>На этом компьютере нельзя создать туннель: служба VPN не может использовать TUN (%1)</translation>
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
</context>
</TS>
