#!/usr/bin/python3
"""A notification area for a display that has none (Xvfb): owns the system tray selection of screen 0
and announces it, as a tray host does, so that a client sees a tray; docked icons are not drawn.
Runs until killed. Usage: trayowner.py (DISPLAY from the environment)."""
import time

from Xlib import X, display
from Xlib.protocol import event


def main():
    shown = display.Display()
    screen = shown.screen()
    owner = screen.root.create_window(0, 0, 1, 1, 0, screen.root_depth)
    selection = shown.intern_atom("_NET_SYSTEM_TRAY_S0")
    owner.set_selection_owner(selection, X.CurrentTime)
    manager = event.ClientMessage(window=screen.root, client_type=shown.intern_atom("MANAGER"),
                                  data=(32, [X.CurrentTime, selection, owner.id, 0, 0]))
    screen.root.send_event(manager, event_mask=X.StructureNotifyMask)
    shown.flush()
    if shown.get_selection_owner(selection) != owner:
        raise SystemExit("trayowner: the tray selection is owned by another")
    while True:
        while shown.pending_events():
            shown.next_event()
        time.sleep(0.2)


if __name__ == "__main__":
    main()
