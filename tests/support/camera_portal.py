#!/usr/bin/python3
"""A stand-in for the desktop's camera portal, for tests on a private session bus.

    camera_portal.py grant|refuse

Answers IsCameraPresent (true), AccessCamera (its Request answers "allowed" or "refused") and
OpenPipeWireRemote (a connection to the PipeWire daemon of $XDG_RUNTIME_DIR). Prints "ready"
once it owns the portal's bus name; runs until killed.
"""
import os
import socket
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

PATH = "/org/freedesktop/portal/desktop"
CAMERA = "org.freedesktop.portal.Camera"


class Request(dbus.service.Object):
    @dbus.service.signal("org.freedesktop.portal.Request", signature="ua{sv}")
    def Response(self, code, results):
        pass


class Portal(dbus.service.Object):
    def __init__(self, bus, grant):
        super().__init__(bus, PATH)
        self.bus = bus
        self.grant = grant

    @dbus.service.method("org.freedesktop.DBus.Properties", in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if (interface, name) != (CAMERA, "IsCameraPresent"):
            raise dbus.exceptions.DBusException(
                name, name="org.freedesktop.DBus.Error.UnknownProperty")
        return dbus.Boolean(True)

    @dbus.service.method(CAMERA, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def AccessCamera(self, options, sender):
        token = str(options.get("handle_token", "standin"))
        path = f"{PATH}/request/{sender[1:].replace('.', '_')}/{token}"
        request = Request(self.bus, path)

        def answer():
            request.Response(dbus.UInt32(0 if self.grant else 1), dbus.Dictionary(signature="sv"))
            request.remove_from_connection()
            return False

        GLib.timeout_add(50, answer)  # after the reply, as the real portal asks the user first
        return dbus.ObjectPath(path)

    @dbus.service.method(CAMERA, in_signature="a{sv}", out_signature="h")
    def OpenPipeWireRemote(self, options):
        if not self.grant:
            raise dbus.exceptions.DBusException(
                "camera not allowed", name="org.freedesktop.portal.Error.NotAllowed")
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as remote:
            remote.connect(os.path.join(os.environ["XDG_RUNTIME_DIR"], "pipewire-0"))
            return dbus.types.UnixFd(remote)  # a copy of the descriptor goes out


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    portal = Portal(bus, sys.argv[1:] == ["grant"])
    name = dbus.service.BusName("org.freedesktop.portal.Desktop", bus, do_not_queue=True)
    print("ready", flush=True)
    GLib.MainLoop().run()
    del portal, name


if __name__ == "__main__":
    main()
