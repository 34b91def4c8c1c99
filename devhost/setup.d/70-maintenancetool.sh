# Sourced by devhost/launch.sh. Chooses what the maintenance-tool stand-in beside the client
# answers to the start-up update check: "none" unless the file already says otherwise (edit
# $APP_DIR/maintenancetool-answer.txt to "update 9.9.9" to be offered an update).
if [ -x "$APP_DIR/maintenancetool.exe" ]; then
    if [ ! -s "$APP_DIR/maintenancetool-answer.txt" ]; then
        echo "none" >"$APP_DIR/maintenancetool-answer.txt"
    fi
    echo "devhost: maintenance tool answers '$(head -n 1 "$APP_DIR/maintenancetool-answer.txt")'; updater starts are recorded in $APP_DIR/maintenancetool-updater.log"
else
    echo "devhost: no maintenance tool beside the client (configured with VPN_DEVHOST=OFF?)"
fi
