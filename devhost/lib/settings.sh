# shellcheck shell=bash
# set_settings KEY=VALUE...: into the client's store at $settings_file, group Settings, as QSettings
# reads it (the client reads it at start). Sourced by the development host's tests and the lab.
set_settings() {
    python3 - "$settings_file" "$@" <<'PY'
import configparser, sys
store = configparser.ConfigParser(interpolation=None)
store.optionxform = str
store.read(sys.argv[1])
if not store.has_section("Settings"):
    store.add_section("Settings")
for pair in sys.argv[2:]:
    key, value = pair.split("=", 1)
    store.set("Settings", key, value)
with open(sys.argv[1], "w") as out:
    store.write(out, space_around_delimiters=False)
PY
}
