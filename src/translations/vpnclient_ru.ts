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
    <name>AdvancedTab</name>
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
        <source>Show logs folder</source>
        <translation>Открыть папку журналов</translation>
    </message>
    <message>
        <source>Logs and problem reports</source>
        <translation>Журналы и отчёты о проблемах</translation>
    </message>
    <message>
        <source>Save a problem report…</source>
        <translation>Сохранить отчёт о проблеме…</translation>
    </message>
    <message>
        <source>Problem report</source>
        <translation>Отчёт о проблеме</translation>
    </message>
    <message>
        <source>The report holds the logs of the application and of the service, the versions, the settings without your account and the state of the network lock. It is saved in your documents folder.</source>
        <translation>Отчёт содержит журналы приложения и службы, версии, настройки без вашей учётной записи и состояние блокировки сети. Он сохраняется в папке документов.</translation>
    </message>
    <message>
        <source>Include my public IP addresses</source>
        <translation>Включить мои внешние IP-адреса</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Сохранить</translation>
    </message>
    <message>
        <source>Saving…</source>
        <translation>Сохранение…</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>Saved to %1</source>
        <translation>Сохранено: %1</translation>
    </message>
    <message>
        <source>The report could not be saved: %1</source>
        <translation>Не удалось сохранить отчёт: %1</translation>
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
    <message>
        <source>No tunnel can be made on this computer: no TUN/TAP device is available</source>
        <translation>На этом компьютере нельзя создать туннель: нет устройства TUN/TAP</translation>
    </message>
    <message>
        <source>Load the TUN/TAP driver or ask your administrator, then restart the %1 service.</source>
        <translation>Загрузите драйвер TUN/TAP или обратитесь к администратору, затем перезапустите службу %1.</translation>
    </message>
    <message>
        <source>Disconnection in progress...</source>
        <translation>Выполняется отключение...</translation>
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
        <source>%1 is not installed completely, so no VPN connection is made: %2 missing or cannot be run. Reinstall %1, or ask your administrator.</source>
        <translation>%1 установлен не полностью, поэтому VPN-подключение не устанавливается: отсутствует или не запускается %2. Переустановите %1 или обратитесь к администратору.</translation>
    </message>
    <message>
        <source>Lockdown, turned on by the user %1, blocks all Internet traffic while the VPN is off. Switch on to connect; only %1 or an administrator can turn it off.</source>
        <translation>Полная блокировка, включённая пользователем %1, блокирует весь интернет-трафик, пока VPN выключен. Включите VPN, чтобы подключиться; выключить блокировку может только %1 или администратор.</translation>
    </message>
    <message>
        <source>Lockdown was turned on by the user %1: only %1 or an administrator can turn it off.</source>
        <translation>Полную блокировку включил пользователь %1: выключить её может только %1 или администратор.</translation>
    </message>
</context>
<context>
    <name>ConnectionView</name>
    <message>
        <source>Updating...</source>
        <translation>Обновление...</translation>
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
        <source>Your current IP</source>
        <translation>Ваш текущий IP</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Ошибка</translation>
    </message>
</context>
<context>
    <name>CountryNames</name>
    <message>
        <source>Andorra</source>
        <translation>Андорра</translation>
    </message>
    <message>
        <source>United Arab Emirates</source>
        <translation>Объединённые Арабские Эмираты</translation>
    </message>
    <message>
        <source>Afghanistan</source>
        <translation>Афганистан</translation>
    </message>
    <message>
        <source>Antigua and Barbuda</source>
        <translation>Антигуа и Барбуда</translation>
    </message>
    <message>
        <source>Anguilla</source>
        <translation>Ангвилла</translation>
    </message>
    <message>
        <source>Albania</source>
        <translation>Албания</translation>
    </message>
    <message>
        <source>Armenia</source>
        <translation>Армения</translation>
    </message>
    <message>
        <source>Angola</source>
        <translation>Ангола</translation>
    </message>
    <message>
        <source>Antarctica</source>
        <translation>Антарктика</translation>
    </message>
    <message>
        <source>Argentina</source>
        <translation>Аргентина</translation>
    </message>
    <message>
        <source>American Samoa</source>
        <translation>Американские Самоа</translation>
    </message>
    <message>
        <source>Austria</source>
        <translation>Австрия</translation>
    </message>
    <message>
        <source>Australia</source>
        <translation>Австралия</translation>
    </message>
    <message>
        <source>Aruba</source>
        <translation>Аруба</translation>
    </message>
    <message>
        <source>Åland Islands</source>
        <translation>Аландские острова</translation>
    </message>
    <message>
        <source>Azerbaijan</source>
        <translation>Азербайджан</translation>
    </message>
    <message>
        <source>Bosnia and Herzegovina</source>
        <translation>Босния и Герцеговина</translation>
    </message>
    <message>
        <source>Barbados</source>
        <translation>Барбадос</translation>
    </message>
    <message>
        <source>Bangladesh</source>
        <translation>Бангладеш</translation>
    </message>
    <message>
        <source>Belgium</source>
        <translation>Бельгия</translation>
    </message>
    <message>
        <source>Burkina Faso</source>
        <translation>Буркина-Фасо</translation>
    </message>
    <message>
        <source>Bulgaria</source>
        <translation>Болгария</translation>
    </message>
    <message>
        <source>Bahrain</source>
        <translation>Бахрейн</translation>
    </message>
    <message>
        <source>Burundi</source>
        <translation>Бурунди</translation>
    </message>
    <message>
        <source>Benin</source>
        <translation>Бенин</translation>
    </message>
    <message>
        <source>Saint Barthélemy</source>
        <translation>Сен-Бартельми</translation>
    </message>
    <message>
        <source>Bermuda</source>
        <translation>Бермуды</translation>
    </message>
    <message>
        <source>Brunei</source>
        <translation>Бруней</translation>
    </message>
    <message>
        <source>Bolivia</source>
        <translation>Боливия</translation>
    </message>
    <message>
        <source>Caribbean Netherlands</source>
        <translation>Карибские Нидерланды</translation>
    </message>
    <message>
        <source>Brazil</source>
        <translation>Бразилия</translation>
    </message>
    <message>
        <source>Bahamas</source>
        <translation>Багамы</translation>
    </message>
    <message>
        <source>Bhutan</source>
        <translation>Бутан</translation>
    </message>
    <message>
        <source>Bouvet Island</source>
        <translation>Остров Буве</translation>
    </message>
    <message>
        <source>Botswana</source>
        <translation>Ботсвана</translation>
    </message>
    <message>
        <source>Belarus</source>
        <translation>Беларусь</translation>
    </message>
    <message>
        <source>Belize</source>
        <translation>Белиз</translation>
    </message>
    <message>
        <source>Canada</source>
        <translation>Канада</translation>
    </message>
    <message>
        <source>Cocos Islands</source>
        <translation>Кокосовые острова</translation>
    </message>
    <message>
        <source>DR Congo</source>
        <translation>ДР Конго</translation>
    </message>
    <message>
        <source>Central African Republic</source>
        <translation>Центрально-африканская республика</translation>
    </message>
    <message>
        <source>Congo</source>
        <translation>Конго</translation>
    </message>
    <message>
        <source>Switzerland</source>
        <translation>Швейцария</translation>
    </message>
    <message>
        <source>Côte d&apos;Ivoire</source>
        <translation>Кот-д’Ивуар</translation>
    </message>
    <message>
        <source>Cook Islands</source>
        <translation>Острова Кука</translation>
    </message>
    <message>
        <source>Chile</source>
        <translation>Чили</translation>
    </message>
    <message>
        <source>Cameroon</source>
        <translation>Камерун</translation>
    </message>
    <message>
        <source>China</source>
        <translation>Китай</translation>
    </message>
    <message>
        <source>Colombia</source>
        <translation>Колумбия</translation>
    </message>
    <message>
        <source>Costa Rica</source>
        <translation>Коста-Рика</translation>
    </message>
    <message>
        <source>Cuba</source>
        <translation>Куба</translation>
    </message>
    <message>
        <source>Cabo Verde</source>
        <translation>Кабо-Верде</translation>
    </message>
    <message>
        <source>Curaçao</source>
        <translation>Кюрасао</translation>
    </message>
    <message>
        <source>Christmas Island</source>
        <translation>Остров Рождества</translation>
    </message>
    <message>
        <source>Cyprus</source>
        <translation>Кипр</translation>
    </message>
    <message>
        <source>Czechia</source>
        <translation>Чехия</translation>
    </message>
    <message>
        <source>Germany</source>
        <translation>Германия</translation>
    </message>
    <message>
        <source>Djibouti</source>
        <translation>Джибути</translation>
    </message>
    <message>
        <source>Denmark</source>
        <translation>Дания</translation>
    </message>
    <message>
        <source>Dominica</source>
        <translation>Доминика</translation>
    </message>
    <message>
        <source>Dominican Republic</source>
        <translation>Доминиканская республика</translation>
    </message>
    <message>
        <source>Algeria</source>
        <translation>Алжир</translation>
    </message>
    <message>
        <source>Ecuador</source>
        <translation>Эквадор</translation>
    </message>
    <message>
        <source>Estonia</source>
        <translation>Эстония</translation>
    </message>
    <message>
        <source>Egypt</source>
        <translation>Египет</translation>
    </message>
    <message>
        <source>Western Sahara</source>
        <translation>Западная Сахара</translation>
    </message>
    <message>
        <source>Eritrea</source>
        <translation>Эритрея</translation>
    </message>
    <message>
        <source>Spain</source>
        <translation>Испания</translation>
    </message>
    <message>
        <source>Ethiopia</source>
        <translation>Эфиопия</translation>
    </message>
    <message>
        <source>Finland</source>
        <translation>Финляндия</translation>
    </message>
    <message>
        <source>Fiji</source>
        <translation>Фиджи</translation>
    </message>
    <message>
        <source>Falkland Islands</source>
        <translation>Фолклендские острова</translation>
    </message>
    <message>
        <source>Micronesia</source>
        <translation>Микронезия</translation>
    </message>
    <message>
        <source>Faroe Islands</source>
        <translation>Фарерские острова</translation>
    </message>
    <message>
        <source>France</source>
        <translation>Франция</translation>
    </message>
    <message>
        <source>Gabon</source>
        <translation>Габон</translation>
    </message>
    <message>
        <source>United Kingdom</source>
        <translation>Великобритания</translation>
    </message>
    <message>
        <source>Grenada</source>
        <translation>Гренада</translation>
    </message>
    <message>
        <source>Georgia</source>
        <translation>Грузия</translation>
    </message>
    <message>
        <source>French Guiana</source>
        <translation>Французская Гвиана</translation>
    </message>
    <message>
        <source>Guernsey</source>
        <translation>Гернси</translation>
    </message>
    <message>
        <source>Ghana</source>
        <translation>Гана</translation>
    </message>
    <message>
        <source>Gibraltar</source>
        <translation>Гибралтар</translation>
    </message>
    <message>
        <source>Greenland</source>
        <translation>Гренландия</translation>
    </message>
    <message>
        <source>Gambia</source>
        <translation>Гамбия</translation>
    </message>
    <message>
        <source>Guinea</source>
        <translation>Гвинея</translation>
    </message>
    <message>
        <source>Guadeloupe</source>
        <translation>Гваделупа</translation>
    </message>
    <message>
        <source>Equatorial Guinea</source>
        <translation>Экваториальная Гвинея</translation>
    </message>
    <message>
        <source>Greece</source>
        <translation>Греция</translation>
    </message>
    <message>
        <source>South Georgia and the South Sandwich Islands</source>
        <translation>Южная Джорджия и Южные Сандвичевы острова</translation>
    </message>
    <message>
        <source>Guatemala</source>
        <translation>Гватемала</translation>
    </message>
    <message>
        <source>Guam</source>
        <translation>Гуам</translation>
    </message>
    <message>
        <source>Guinea-Bissau</source>
        <translation>Гвинея-Бисау</translation>
    </message>
    <message>
        <source>Guyana</source>
        <translation>Гайана</translation>
    </message>
    <message>
        <source>Hong Kong</source>
        <translation>Гонконг</translation>
    </message>
    <message>
        <source>Heard Island and McDonald Islands</source>
        <translation>Остров Херд и острова МакДональд</translation>
    </message>
    <message>
        <source>Honduras</source>
        <translation>Гондурас</translation>
    </message>
    <message>
        <source>Croatia</source>
        <translation>Хорватия</translation>
    </message>
    <message>
        <source>Haiti</source>
        <translation>Гаити</translation>
    </message>
    <message>
        <source>Hungary</source>
        <translation>Венгрия</translation>
    </message>
    <message>
        <source>Indonesia</source>
        <translation>Индонезия</translation>
    </message>
    <message>
        <source>Ireland</source>
        <translation>Ирландия</translation>
    </message>
    <message>
        <source>Israel</source>
        <translation>Израиль</translation>
    </message>
    <message>
        <source>Isle of Man</source>
        <translation>Остров Мэн</translation>
    </message>
    <message>
        <source>India</source>
        <translation>Индия</translation>
    </message>
    <message>
        <source>British Indian Ocean Territory</source>
        <translation>Британская территория Индийского океана</translation>
    </message>
    <message>
        <source>Iraq</source>
        <translation>Ирак</translation>
    </message>
    <message>
        <source>Iran</source>
        <translation>Иран</translation>
    </message>
    <message>
        <source>Iceland</source>
        <translation>Исландия</translation>
    </message>
    <message>
        <source>Italy</source>
        <translation>Италия</translation>
    </message>
    <message>
        <source>Jersey</source>
        <translation>Джерси</translation>
    </message>
    <message>
        <source>Jamaica</source>
        <translation>Ямайка</translation>
    </message>
    <message>
        <source>Jordan</source>
        <translation>Иордания</translation>
    </message>
    <message>
        <source>Japan</source>
        <translation>Япония</translation>
    </message>
    <message>
        <source>Kenya</source>
        <translation>Кения</translation>
    </message>
    <message>
        <source>Kyrgyzstan</source>
        <translation>Киргизия</translation>
    </message>
    <message>
        <source>Cambodia</source>
        <translation>Камбоджа</translation>
    </message>
    <message>
        <source>Kiribati</source>
        <translation>Кирибати</translation>
    </message>
    <message>
        <source>Comoros</source>
        <translation>Коморы</translation>
    </message>
    <message>
        <source>Saint Kitts and Nevis</source>
        <translation>Сент-Китс и Невис</translation>
    </message>
    <message>
        <source>North Korea</source>
        <translation>Северная Корея</translation>
    </message>
    <message>
        <source>South Korea</source>
        <translation>Южная Корея</translation>
    </message>
    <message>
        <source>Kuwait</source>
        <translation>Кувейт</translation>
    </message>
    <message>
        <source>Cayman Islands</source>
        <translation>Каймановы острова</translation>
    </message>
    <message>
        <source>Kazakhstan</source>
        <translation>Казахстан</translation>
    </message>
    <message>
        <source>Laos</source>
        <translation>Лаос</translation>
    </message>
    <message>
        <source>Lebanon</source>
        <translation>Ливан</translation>
    </message>
    <message>
        <source>Saint Lucia</source>
        <translation>Сент-Люсия</translation>
    </message>
    <message>
        <source>Liechtenstein</source>
        <translation>Лихтенштейн</translation>
    </message>
    <message>
        <source>Sri Lanka</source>
        <translation>Шри-Ланка</translation>
    </message>
    <message>
        <source>Liberia</source>
        <translation>Либерия</translation>
    </message>
    <message>
        <source>Lesotho</source>
        <translation>Лесото</translation>
    </message>
    <message>
        <source>Lithuania</source>
        <translation>Литва</translation>
    </message>
    <message>
        <source>Luxembourg</source>
        <translation>Люксембург</translation>
    </message>
    <message>
        <source>Latvia</source>
        <translation>Латвия</translation>
    </message>
    <message>
        <source>Libya</source>
        <translation>Ливия</translation>
    </message>
    <message>
        <source>Morocco</source>
        <translation>Марокко</translation>
    </message>
    <message>
        <source>Monaco</source>
        <translation>Монако</translation>
    </message>
    <message>
        <source>Moldova</source>
        <translation>Молдова</translation>
    </message>
    <message>
        <source>Montenegro</source>
        <translation>Черногория</translation>
    </message>
    <message>
        <source>Saint Martin</source>
        <translation>Сен-Мартен</translation>
    </message>
    <message>
        <source>Madagascar</source>
        <translation>Мадагаскар</translation>
    </message>
    <message>
        <source>Marshall Islands</source>
        <translation>Маршалловы острова</translation>
    </message>
    <message>
        <source>North Macedonia</source>
        <translation>Северная Македония</translation>
    </message>
    <message>
        <source>Mali</source>
        <translation>Мали</translation>
    </message>
    <message>
        <source>Myanmar</source>
        <translation>Мьянма</translation>
    </message>
    <message>
        <source>Mongolia</source>
        <translation>Монголия</translation>
    </message>
    <message>
        <source>Macao</source>
        <translation>Макао</translation>
    </message>
    <message>
        <source>Northern Mariana Islands</source>
        <translation>Острова северной Марианы</translation>
    </message>
    <message>
        <source>Martinique</source>
        <translation>Мартиника</translation>
    </message>
    <message>
        <source>Mauritania</source>
        <translation>Мавритания</translation>
    </message>
    <message>
        <source>Montserrat</source>
        <translation>Монтсеррат</translation>
    </message>
    <message>
        <source>Malta</source>
        <translation>Мальта</translation>
    </message>
    <message>
        <source>Mauritius</source>
        <translation>Маврикий</translation>
    </message>
    <message>
        <source>Maldives</source>
        <translation>Мальдивы</translation>
    </message>
    <message>
        <source>Malawi</source>
        <translation>Малави</translation>
    </message>
    <message>
        <source>Mexico</source>
        <translation>Мексика</translation>
    </message>
    <message>
        <source>Malaysia</source>
        <translation>Малайзия</translation>
    </message>
    <message>
        <source>Mozambique</source>
        <translation>Мозамбик</translation>
    </message>
    <message>
        <source>Namibia</source>
        <translation>Намибия</translation>
    </message>
    <message>
        <source>New Caledonia</source>
        <translation>Новая Каледония</translation>
    </message>
    <message>
        <source>Niger</source>
        <translation>Нигер</translation>
    </message>
    <message>
        <source>Norfolk Island</source>
        <translation>Остров Норфолк</translation>
    </message>
    <message>
        <source>Nigeria</source>
        <translation>Нигерия</translation>
    </message>
    <message>
        <source>Nicaragua</source>
        <translation>Никарагуа</translation>
    </message>
    <message>
        <source>Netherlands</source>
        <translation>Нидерланды</translation>
    </message>
    <message>
        <source>Norway</source>
        <translation>Норвегия</translation>
    </message>
    <message>
        <source>Nepal</source>
        <translation>Непал</translation>
    </message>
    <message>
        <source>Nauru</source>
        <translation>Науру</translation>
    </message>
    <message>
        <source>Niue</source>
        <translation>Ниуэ</translation>
    </message>
    <message>
        <source>New Zealand</source>
        <translation>Новая Зеландия</translation>
    </message>
    <message>
        <source>Oman</source>
        <translation>Оман</translation>
    </message>
    <message>
        <source>Panama</source>
        <translation>Панама</translation>
    </message>
    <message>
        <source>Peru</source>
        <translation>Перу</translation>
    </message>
    <message>
        <source>French Polynesia</source>
        <translation>Французская Полинезия</translation>
    </message>
    <message>
        <source>Papua New Guinea</source>
        <translation>Папуа — Новая Гвинея</translation>
    </message>
    <message>
        <source>Philippines</source>
        <translation>Филиппины</translation>
    </message>
    <message>
        <source>Pakistan</source>
        <translation>Пакистан</translation>
    </message>
    <message>
        <source>Poland</source>
        <translation>Польша</translation>
    </message>
    <message>
        <source>Saint Pierre and Miquelon</source>
        <translation>Сен-Пьер и Микелон</translation>
    </message>
    <message>
        <source>Pitcairn</source>
        <translation>Питкэрн</translation>
    </message>
    <message>
        <source>Puerto Rico</source>
        <translation>Пуэрто-Рико</translation>
    </message>
    <message>
        <source>Palestine</source>
        <translation>Палестина</translation>
    </message>
    <message>
        <source>Portugal</source>
        <translation>Португалия</translation>
    </message>
    <message>
        <source>Palau</source>
        <translation>Палау</translation>
    </message>
    <message>
        <source>Paraguay</source>
        <translation>Парагвай</translation>
    </message>
    <message>
        <source>Qatar</source>
        <translation>Катар</translation>
    </message>
    <message>
        <source>Réunion</source>
        <translation>Реюньон</translation>
    </message>
    <message>
        <source>Romania</source>
        <translation>Румыния</translation>
    </message>
    <message>
        <source>Serbia</source>
        <translation>Сербия</translation>
    </message>
    <message>
        <source>Russia</source>
        <translation>Россия</translation>
    </message>
    <message>
        <source>Rwanda</source>
        <translation>Руанда</translation>
    </message>
    <message>
        <source>Saudi Arabia</source>
        <translation>Саудовская Аравия</translation>
    </message>
    <message>
        <source>Solomon Islands</source>
        <translation>Соломоновы Острова</translation>
    </message>
    <message>
        <source>Seychelles</source>
        <translation>Сейшелы</translation>
    </message>
    <message>
        <source>Sudan</source>
        <translation>Судан</translation>
    </message>
    <message>
        <source>Sweden</source>
        <translation>Швеция</translation>
    </message>
    <message>
        <source>Singapore</source>
        <translation>Сингапур</translation>
    </message>
    <message>
        <source>Saint Helena</source>
        <translation>Остров Святой Елены</translation>
    </message>
    <message>
        <source>Slovenia</source>
        <translation>Словения</translation>
    </message>
    <message>
        <source>Svalbard and Jan Mayen</source>
        <translation>Шпицберген и Ян-Майен</translation>
    </message>
    <message>
        <source>Slovakia</source>
        <translation>Словакия</translation>
    </message>
    <message>
        <source>Sierra Leone</source>
        <translation>Сьерра-Леоне</translation>
    </message>
    <message>
        <source>San Marino</source>
        <translation>Сан-Марино</translation>
    </message>
    <message>
        <source>Senegal</source>
        <translation>Сенегал</translation>
    </message>
    <message>
        <source>Somalia</source>
        <translation>Сомали</translation>
    </message>
    <message>
        <source>Suriname</source>
        <translation>Суринам</translation>
    </message>
    <message>
        <source>South Sudan</source>
        <translation>Южный Судан</translation>
    </message>
    <message>
        <source>Sao Tome and Principe</source>
        <translation>Сан-Томе и Принсипи</translation>
    </message>
    <message>
        <source>El Salvador</source>
        <translation>Сальвадор</translation>
    </message>
    <message>
        <source>Sint Maarten</source>
        <translation>Синт-Мартен</translation>
    </message>
    <message>
        <source>Syria</source>
        <translation>Сирия</translation>
    </message>
    <message>
        <source>Eswatini</source>
        <translation>Эсватини</translation>
    </message>
    <message>
        <source>Turks and Caicos Islands</source>
        <translation>Острова Туркс и Каикос</translation>
    </message>
    <message>
        <source>Chad</source>
        <translation>Чад</translation>
    </message>
    <message>
        <source>French Southern Territories</source>
        <translation>Французские Южные территории</translation>
    </message>
    <message>
        <source>Togo</source>
        <translation>Того</translation>
    </message>
    <message>
        <source>Thailand</source>
        <translation>Таиланд</translation>
    </message>
    <message>
        <source>Tajikistan</source>
        <translation>Таджикистан</translation>
    </message>
    <message>
        <source>Tokelau</source>
        <translation>Токелау</translation>
    </message>
    <message>
        <source>Timor-Leste</source>
        <translation>Восточный Тимор</translation>
    </message>
    <message>
        <source>Turkmenistan</source>
        <translation>Туркменистан</translation>
    </message>
    <message>
        <source>Tunisia</source>
        <translation>Тунис</translation>
    </message>
    <message>
        <source>Tonga</source>
        <translation>Тонга</translation>
    </message>
    <message>
        <source>Turkey</source>
        <translation>Турция</translation>
    </message>
    <message>
        <source>Trinidad and Tobago</source>
        <translation>Тринидад и Тобаго</translation>
    </message>
    <message>
        <source>Tuvalu</source>
        <translation>Тувалу</translation>
    </message>
    <message>
        <source>Taiwan</source>
        <translation>Тайвань</translation>
    </message>
    <message>
        <source>Tanzania</source>
        <translation>Танзания</translation>
    </message>
    <message>
        <source>Ukraine</source>
        <translation>Украина</translation>
    </message>
    <message>
        <source>Uganda</source>
        <translation>Уганда</translation>
    </message>
    <message>
        <source>US Minor Outlying Islands</source>
        <translation>Внешние малые острова США</translation>
    </message>
    <message>
        <source>United States</source>
        <translation>США</translation>
    </message>
    <message>
        <source>Uruguay</source>
        <translation>Уругвай</translation>
    </message>
    <message>
        <source>Uzbekistan</source>
        <translation>Узбекистан</translation>
    </message>
    <message>
        <source>Vatican City</source>
        <translation>Ватикан</translation>
    </message>
    <message>
        <source>Saint Vincent and the Grenadines</source>
        <translation>Сент-Винсент и Гренадины</translation>
    </message>
    <message>
        <source>Venezuela</source>
        <translation>Венесуэла</translation>
    </message>
    <message>
        <source>British Virgin Islands</source>
        <translation>Британские Виргинские острова</translation>
    </message>
    <message>
        <source>US Virgin Islands</source>
        <translation>Виргинские острова США</translation>
    </message>
    <message>
        <source>Vietnam</source>
        <translation>Вьетнам</translation>
    </message>
    <message>
        <source>Vanuatu</source>
        <translation>Вануату</translation>
    </message>
    <message>
        <source>Wallis and Futuna</source>
        <translation>Уоллес и Футана</translation>
    </message>
    <message>
        <source>Samoa</source>
        <translation>Самоа</translation>
    </message>
    <message>
        <source>Kosovo</source>
        <translation>Косово</translation>
    </message>
    <message>
        <source>Yemen</source>
        <translation>Йемен</translation>
    </message>
    <message>
        <source>Mayotte</source>
        <translation>Майот</translation>
    </message>
    <message>
        <source>South Africa</source>
        <translation>Южная Африка</translation>
    </message>
    <message>
        <source>Zambia</source>
        <translation>Замбия</translation>
    </message>
    <message>
        <source>Zimbabwe</source>
        <translation>Зимбабве</translation>
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
    <name>GeneralTab</name>
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
        <source>Startup and notification area</source>
        <translation>Запуск и область уведомлений</translation>
    </message>
    <message>
        <source>Launch %1 at sign-in</source>
        <translation>Запускать %1 при входе в систему</translation>
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
        <source>Keep %1 running in the notification area when its window is closed</source>
        <translation>Оставлять %1 в области уведомлений при закрытии окна</translation>
    </message>
    <message>
        <source>Show notifications when the VPN connection changes</source>
        <translation>Показывать уведомления об изменениях VPN-подключения</translation>
    </message>
    <message>
        <source>Start in the notification area</source>
        <translation>Запускать в области уведомлений</translation>
    </message>
</context>
<context>
    <name>Installation</name>
    <message>
        <source>OpenVPN</source>
        <translation>OpenVPN</translation>
    </message>
    <message>
        <source>the network lock tool</source>
        <translation>программа сетевой блокировки</translation>
    </message>
    <message>
        <source>the resolver tool</source>
        <translation>программа настройки DNS</translation>
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
    <name>NetworkLockTab</name>
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
    <message>
        <source>Block all traffic while the VPN is off</source>
        <translation>Блокировать весь трафик, пока VPN выключен</translation>
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
    <message>
        <source>Error: Wrong Username/Password</source>
        <translation>Ошибка: неверное имя пользователя или пароль</translation>
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
    <name>RemoteCommands</name>
    <message>
        <source>The network lock is on</source>
        <translation>Блокировка сети включена</translation>
    </message>
    <message>
        <source>The network lock is off</source>
        <translation>Блокировка сети выключена</translation>
    </message>
    <message>
        <source>Lockdown is on</source>
        <translation>Полная блокировка включена</translation>
    </message>
    <message>
        <source>Lockdown is off</source>
        <translation>Полная блокировка выключена</translation>
    </message>
    <message>
        <source>The account is stored</source>
        <translation>Учётная запись сохранена</translation>
    </message>
    <message>
        <source>No location matches &quot;%1&quot;</source>
        <translation>Нет расположения, подходящего под «%1»</translation>
    </message>
    <message>
        <source>Already connected to %1</source>
        <translation>Уже подключено: %1</translation>
    </message>
    <message>
        <source>The connection did not come up in time</source>
        <translation>Подключение не установилось вовремя</translation>
    </message>
    <message>
        <source>Connected to %1</source>
        <translation>Подключено: %1</translation>
    </message>
    <message>
        <source>Not connected</source>
        <translation>Нет подключения</translation>
    </message>
    <message>
        <source>The connection did not end in time</source>
        <translation>Подключение не завершилось вовремя</translation>
    </message>
    <message>
        <source>The server list has not arrived yet</source>
        <translation>Список серверов ещё не получен</translation>
    </message>
    <message>
        <source>No location to pick from</source>
        <translation>Нет расположений для выбора</translation>
    </message>
    <message>
        <source>A problem report is being written already</source>
        <translation>Отчёт о проблеме уже создаётся</translation>
    </message>
    <message>
        <source>The problem report is saved in %1</source>
        <translation>Отчёт о проблеме сохранён в %1</translation>
    </message>
    <message>
        <source>The problem report was not written in time</source>
        <translation>Отчёт о проблеме не был записан вовремя</translation>
    </message>
</context>
<context>
    <name>RunCheck</name>
    <message>
        <source>Missing or not executable: %1</source>
        <translation>Отсутствует или не запускается: %1</translation>
    </message>
    <message>
        <source>Username or password is empty!</source>
        <translation>Не заданы имя пользователя или пароль!</translation>
    </message>
    <message>
        <source>VPN server IP is empty!</source>
        <translation>Не задан IP-адрес VPN-сервера!</translation>
    </message>
    <message>
        <source>VPN server IP is not a valid address!</source>
        <translation>IP-адрес VPN-сервера недопустим!</translation>
    </message>
</context>
<context>
    <name>ServerListHeader</name>
    <message>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>Server list</source>
        <translation>Список серверов</translation>
    </message>
</context>
<context>
    <name>ServerListItem</name>
    <message>
        <source>Favourite</source>
        <translation>Избранное</translation>
    </message>
    <message>
        <source>%1 ms</source>
        <translation>%1 мс</translation>
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
    <message>
        <source>heavy load</source>
        <translation>высокая нагрузка</translation>
    </message>
    <message>
        <source>medium load</source>
        <translation>средняя нагрузка</translation>
    </message>
    <message>
        <source>light load</source>
        <translation>низкая нагрузка</translation>
    </message>
    <message>
        <source>load unknown</source>
        <translation>нагрузка неизвестна</translation>
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
    <message>
        <source>Search by country or city</source>
        <translation>Поиск по стране или городу</translation>
    </message>
    <message>
        <source>No location matches your search</source>
        <translation>По вашему запросу ничего не найдено</translation>
    </message>
    <message>
        <source>Quickest location</source>
        <translation>Самое быстрое расположение</translation>
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
        <source>Settings pages</source>
        <translation>Разделы настроек</translation>
    </message>
    <message>
        <source>Scroll the settings</source>
        <translation>Прокрутка настроек</translation>
    </message>
    <message>
        <source>Network lock</source>
        <translation>Блокировка сети</translation>
    </message>
    <message>
        <source>Settings — %1</source>
        <translation>Настройки — %1</translation>
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
    <message>
        <source>Traffic blocked by lockdown (to lift it, turn off &quot;Block all traffic while the VPN is off&quot; in the settings)</source>
        <translation>Трафик заблокирован полной блокировкой (чтобы снять её, выключите «Блокировать весь трафик, пока VPN выключен» в настройках)</translation>
    </message>
    <message>
        <source>Traffic blocked by the lockdown of the user %1</source>
        <translation>Трафик заблокирован полной блокировкой пользователя %1</translation>
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
    <message>
        <source>Internet blocked by the network lock</source>
        <translation>Доступ в Интернет закрыт блокировкой сети</translation>
    </message>
    <message>
        <source>Open %1 to reconnect, or disconnect to lift the lock.</source>
        <translation>Откройте %1, чтобы переподключиться, или отключитесь, чтобы снять блокировку.</translation>
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
        <source>Auto reconnection</source>
        <translation>Автоматическое переподключение</translation>
    </message>
    <message>
        <source>No tunnel can be made on this computer: the VPN service cannot use TUN (%1)</source>
        <translation>На этом компьютере нельзя создать туннель: служба VPN не может использовать TUN (%1)</translation>
    </message>
    <message>
        <source>the network lock could not be applied</source>
        <translation>не удалось включить сетевую блокировку</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Scroll the window</source>
        <translation>Прокрутка окна</translation>
    </message>
</context>
</TS>
