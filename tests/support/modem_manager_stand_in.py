'''A stand-in for the system's modem manager on a private bus: one modem
whose device uid and port names come from the parameters. InhibitDevice
calls are logged; with "refuse" set they are refused as unauthorized; with
"delay" set (seconds) they answer that late, as after a password prompt.'''

import dbus

BUS_NAME = 'org.freedesktop.ModemManager1'
MAIN_OBJ = '/org/freedesktop/ModemManager1'
MAIN_IFACE = 'org.freedesktop.ModemManager1'
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True


def load(mock, parameters):
    refuse = ("raise dbus.exceptions.DBusException('Not authorized to control the device', "
              "name='org.freedesktop.ModemManager1.Error.Core.Unauthorized')")
    code = refuse if parameters.get('refuse') else ''
    if parameters.get('delay'):
        code = f"__import__('time').sleep({float(parameters['delay'])})\n" + code
    mock.AddMethod(MAIN_IFACE, 'InhibitDevice', 'sb', '', code)
    ports = dbus.Array([dbus.Struct((dbus.String(p), dbus.UInt32(1)), signature='su')
                        for p in parameters['ports']], signature='(su)')
    mock.AddObject(MAIN_OBJ + '/Modem/0', 'org.freedesktop.ModemManager1.Modem',
                   {'Device': dbus.String(parameters['device']),
                    'Ports': ports,
                    'Model': dbus.String('Stand-in modem')},
                   [])
