"""The development host's side of the client's registry door (src/platform/registry.cpp).

A key named by its full path, such as HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet, lives in the
INI file <folder>/HKEY_LOCAL_MACHINE.ini as the group "SYSTEM/CurrentControlSet", in the layout
that Qt's QSettings writes: the first group is the INI section, the rest of the key path joins the
value name with backslashes, and characters other than letters, digits, "_", "-" and "." are
percent-encoded. <folder> is ${XDG_DATA_HOME:-~/.local/share}/vpnclient-registry, the folder the
client uses; VPNC_REGISTRY_DIR overrides it for the stand-ins only.
"""

import os
import re
import tempfile

HIVES = ("HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_CURRENT_CONFIG")


def folder():
    override = os.environ.get("VPNC_REGISTRY_DIR")
    if override:
        return override
    data = os.environ.get("XDG_DATA_HOME") or os.path.join(os.path.expanduser("~"), ".local", "share")
    return os.path.join(data, "vpnclient-registry")


def split_key_path(key_path):
    """'HKEY_LOCAL_MACHINE\\A\\B' -> ('HKEY_LOCAL_MACHINE', 'A/B')."""
    parts = [p for p in key_path.split("\\") if p]
    if not parts or parts[0] not in HIVES:
        raise ValueError("not a registry key path: %r" % key_path)
    return parts[0], "/".join(parts[1:])


def _escape_key(name):
    out = []
    for ch in name:
        if ch == "/":
            out.append("\\")
        elif ch.isascii() and (ch.isalnum() or ch in "_-."):
            out.append(ch)
        elif ord(ch) <= 0xFF:
            out.append("%%%02X" % ord(ch))
        else:
            out.append("%%U%04X" % ord(ch))
    return "".join(out)


def _unescape_key(text):
    text = text.replace("\\", "/")
    return re.sub(r"%U([0-9A-Fa-f]{4})|%([0-9A-Fa-f]{2})",
                  lambda m: chr(int(m.group(1) or m.group(2), 16)), text)


_SIMPLE_ESCAPES = {"a": "\a", "b": "\b", "f": "\f", "n": "\n", "r": "\r", "t": "\t", "v": "\v",
                   "'": "'", '"': '"', "?": "?", "\\": "\\", ";": ";", ",": ","}


def _unescape_value(text):
    """A QSettings INI value as text (a list reads as its items joined with ',')."""
    items, current, quoted, i = [], [], False, 0
    while i < len(text):
        ch = text[i]
        if ch == '"':
            quoted = not quoted
        elif ch == "\\" and i + 1 < len(text):
            i += 1
            nxt = text[i]
            if nxt in _SIMPLE_ESCAPES:
                current.append(_SIMPLE_ESCAPES[nxt])
            elif nxt in "xX":
                m = re.match(r"[0-9A-Fa-f]+", text[i + 1:])
                if m:
                    current.append(chr(int(m.group(0), 16)))
                    i += len(m.group(0))
            elif nxt.isdigit():
                m = re.match(r"[0-7]+", text[i:])
                current.append(chr(int(m.group(0), 8)) if m else nxt)
                i += len(m.group(0)) - 1 if m else 0
            else:
                current.append(nxt)
        elif ch == "," and not quoted:
            items.append("".join(current).strip())
            current = []
        else:
            current.append(ch)
        i += 1
    items.append("".join(current).strip())
    value = ",".join(items)
    if value.startswith("@@"):
        value = value[1:]
    return value


def _escape_value(value):
    out = ['"']
    for ch in value:
        if ch in '"\\':
            out.append("\\" + ch)
        elif ch == "\n":
            out.append("\\n")
        elif ch == "\r":
            out.append("\\r")
        elif ch == "\t":
            out.append("\\t")
        elif 0x20 <= ord(ch) < 0x7F:
            out.append(ch)
        else:
            # QSettings reads \x with as many hex digits as follow: close the quote to end it.
            out.append('\\x%x""' % ord(ch))
    out.append('"')
    return "".join(out)


class Hive:
    """All values of one hive, by 'key/path/ValueName'."""

    def __init__(self, name):
        if name not in HIVES:
            raise ValueError("unknown hive: %r" % name)
        self.name = name
        self.path = os.path.join(folder(), name + ".ini")
        self.values = {}
        self._load()

    def _load(self):
        try:
            with open(self.path, encoding="latin-1") as f:
                lines = f.read().splitlines()
        except FileNotFoundError:
            return
        section = ""
        for raw in lines:
            line = raw.strip()
            if not line or line.startswith(";"):
                continue
            if line.startswith("[") and line.endswith("]"):
                name = line[1:-1].strip()
                section = "" if name.lower() == "general" else _unescape_key(name)
                continue
            if "=" not in line:
                continue
            key, value = line.split("=", 1)
            key = _unescape_key(key.strip())
            full = "%s/%s" % (section, key) if section else key
            self.values[full.strip("/")] = _unescape_value(value.strip())

    def save(self):
        os.makedirs(folder(), exist_ok=True)
        sections = {}
        for full, value in sorted(self.values.items()):
            head, _, rest = full.partition("/")
            if not rest:
                head, rest = "General", head
            else:
                head = _escape_key(head)
            sections.setdefault(head, []).append("%s=%s" % (_escape_key(rest), _escape_value(value)))
        text = "\n".join("[%s]\n%s\n" % (head, "\n".join(lines)) for head, lines in sections.items())
        fd, tmp = tempfile.mkstemp(dir=folder(), prefix=self.name + ".")
        with os.fdopen(fd, "w", encoding="latin-1") as f:
            f.write(text)
        os.chmod(tmp, 0o644)
        os.replace(tmp, self.path)

    def get(self, key, name, default=None):
        return self.values.get("%s/%s" % (key, name) if key else name, default)

    def set(self, key, name, value):
        self.values["%s/%s" % (key, name) if key else name] = str(value)

    def subkeys(self, key):
        prefix = key + "/" if key else ""
        found = set()
        for full in self.values:
            if full.startswith(prefix):
                rest = full[len(prefix):]
                if "/" in rest:
                    found.add(rest.split("/", 1)[0])
        return sorted(found)

    def delete_key(self, key):
        prefix = key + "/"
        for full in [f for f in self.values if f.startswith(prefix)]:
            del self.values[full]
