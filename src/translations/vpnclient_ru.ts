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
    <name>OpenVpnClient</name>
    <message>
        <source>OpenVPN server is empty!</source>
        <translation>Сервер OpenVPN не задан!</translation>
    </message>
    <message>
        <source>Error: Username or password contains a line break</source>
        <translation>Ошибка: имя пользователя или пароль содержит перевод строки</translation>
    </message>
</context>
<context>
    <name>ServerListModel</name>
    <message>
        <source>Not selected</source>
        <translation>Не выбран</translation>
    </message>
</context>
</TS>
