#!/usr/bin/python3
# A stand-in for the desktop's camera portal on a private session bus: camera_portal.py grant|refuse
# answers IsCameraPresent (true), AccessCamera (its Request answers "allowed" or "refused") and
# OpenPipeWireRemote (a connection to the PipeWire daemon of $XDG_RUNTIME_DIR). Prints "ready" once
# it owns the portal's bus name; runs until killed.
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
    grant = sys.argv[1:] == ["grant"]

    @dbus.service.method("org.freedesktop.DBus.Properties", in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        assert (interface, name) == (CAMERA, "IsCameraPresent")
        return dbus.Boolean(True)

    @dbus.service.method(CAMERA, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def AccessCamera(self, options, sender):
        path = f"{PATH}/request/{sender[1:].replace('.', '_')}/{options['handle_token']}"
        request = Request(self.connection, path)
        # The answer comes after the reply, as the real portal asks the user first.
        GLib.timeout_add(50, lambda: request.Response(0 if self.grant else 1, {}) and False)
        return dbus.ObjectPath(path)

    @dbus.service.method(CAMERA, in_signature="a{sv}", out_signature="h")
    def OpenPipeWireRemote(self, options):
        assert self.grant
        with socket.socket(socket.AF_UNIX) as remote:
            remote.connect(os.path.join(os.environ["XDG_RUNTIME_DIR"], "pipewire-0"))
            return dbus.types.UnixFd(remote)  # a copy of the descriptor goes out


DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
portal = Portal(bus, PATH)
name = dbus.service.BusName("org.freedesktop.portal.Desktop", bus, do_not_queue=True)
print("ready", flush=True)
GLib.MainLoop().run()
