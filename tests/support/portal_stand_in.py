'''A stand-in for the desktop portal on a private session bus: Inhibit
hands out a request object, and calling Close on it withdraws the
inhibition. Calls on both are logged.'''

BUS_NAME = 'org.freedesktop.portal.Desktop'
MAIN_OBJ = '/org/freedesktop/portal/desktop'
MAIN_IFACE = 'org.freedesktop.portal.Inhibit'
SYSTEM_BUS = False


def load(mock, parameters):
    # pylint: disable=unused-argument
    mock.AddMethod(MAIN_IFACE, 'Inhibit', 'sua{sv}', 'o',
                   "import dbus\n"
                   "path = '/org/freedesktop/portal/desktop/request/1_1/t%d' % len(args[2])\n"
                   "self.AddObject(path, 'org.freedesktop.portal.Request', {}, [('Close', '', '', '')])\n"
                   "ret = dbus.ObjectPath(path)")
