#!/usr/bin/env python3
"""Drops files on an X window the way a file manager does, over the X drag-and-drop protocol.

Usage: xdnd_drop.py WINDOW ROOT_X ROOT_Y FILE...
Exits 0 once the target has taken the drop (XdndFinished), 1 when it refused or timed out.
"""
import sys
import time
import urllib.parse

from Xlib import X, Xatom, display, protocol


def main():
    target_id, x, y = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
    uris = "".join("file://" + urllib.parse.quote(path) + "\r\n" for path in sys.argv[4:]).encode()

    d = display.Display()
    atom = lambda name: d.intern_atom(name)
    uri_list = atom("text/uri-list")
    selection = atom("XdndSelection")
    copy = atom("XdndActionCopy")
    source = d.screen().root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
    target = d.create_resource_object("window", target_id)
    source.set_selection_owner(selection, X.CurrentTime)

    def send(name, data):
        event = protocol.event.ClientMessage(window=target, client_type=atom(name), data=(32, data))
        target.send_event(event, event_mask=0)
        d.flush()

    version = 5
    send("XdndEnter", [source.id, version << 24, uri_list, 0, 0])
    send("XdndPosition", [source.id, 0, (x << 16) | y, X.CurrentTime, copy])

    deadline = time.time() + 10
    dropped = False
    while time.time() < deadline:
        if not d.pending_events():
            time.sleep(0.02)
            continue
        event = d.next_event()
        if event.type == X.ClientMessage and event.client_type == atom("XdndStatus"):
            if not dropped:
                if not event.data[1][1] & 1:
                    print("xdnd_drop: the target refuses the drop", file=sys.stderr)
                    return 1
                send("XdndDrop", [source.id, 0, X.CurrentTime, 0, 0])
                dropped = True
        elif event.type == X.ClientMessage and event.client_type == atom("XdndFinished"):
            return 0
        elif event.type == X.SelectionRequest:
            requestor = event.requestor
            prop = event.property or event.target
            if event.target == uri_list:
                requestor.change_property(prop, uri_list, 8, uris)
            else:
                prop = X.NONE
            notify = protocol.event.SelectionNotify(
                time=event.time, requestor=requestor, selection=event.selection, target=event.target,
                property=prop)
            requestor.send_event(notify)
            d.flush()
    print("xdnd_drop: no answer from the target", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
