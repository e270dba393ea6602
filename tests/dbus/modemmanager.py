'''ModemManager mock template (loaded by path)

The ModemManager1 object is an ObjectManager. Voice modems and their calls
are added and changed through the org.freedesktop.DBus.Mock interface of
/org/freedesktop/ModemManager1:

  AddVoiceModem(name) -> modem path            (InterfacesAdded)
  AddCall(modem path, direction, state, number) -> call path   (CallAdded)
  SetCallState(call path, state, reason)       (StateChanged, PropertiesChanged)
  RemoveCall(call path)                        (CallDeleted)

Call states: 0 unknown, 1 dialing, 2 ringing out, 3 ringing in, 4 active,
5 held, 6 waiting, 7 terminated. Directions: 1 incoming, 2 outgoing.
'''

import dbus

from dbusmock import MOCK_IFACE, mockobject

BUS_NAME = 'org.freedesktop.ModemManager1'
MAIN_OBJ = '/org/freedesktop/ModemManager1'
MAIN_IFACE = 'org.freedesktop.ModemManager1'
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True

MODEM_IFACE = 'org.freedesktop.ModemManager1.Modem'
VOICE_IFACE = 'org.freedesktop.ModemManager1.Modem.Voice'
CALL_IFACE = 'org.freedesktop.ModemManager1.Call'


def load(mock, parameters):
    mock.AddProperties(MAIN_IFACE, {'Version': parameters.get('Version', '1.20.4')})
    mock.AddMethods(MAIN_IFACE, [('ScanDevices', '', '', ''),
                                 ('SetLogging', 's', '', '')])
    mock.modem_count = 0
    mock.call_count = 0


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='o')
def AddVoiceModem(self, name):
    path = f'{MAIN_OBJ}/Modem/{self.modem_count}'
    self.modem_count += 1
    self.AddObject(path, MODEM_IFACE,
                   {'Model': dbus.String(name), 'State': dbus.Int32(8)}, [])
    modem = mockobject.objects[path]
    modem.AddProperties(VOICE_IFACE, {'Calls': dbus.Array([], signature='o'),
                                      'EmergencyOnly': False})
    modem.AddMethods(VOICE_IFACE, [
        ('ListCalls', '', 'ao', f'ret = objects["{path}"].Get("{VOICE_IFACE}", "Calls")'),
    ])
    self.object_manager_emit_added(path)
    return dbus.ObjectPath(path)


@dbus.service.method(MOCK_IFACE, in_signature='oiis', out_signature='o')
def AddCall(self, modem_path, direction, state, number):
    path = f'{MAIN_OBJ}/Call/{self.call_count}'
    self.call_count += 1
    self.AddObject(path, CALL_IFACE,
                   {'State': dbus.Int32(state), 'StateReason': dbus.Int32(0),
                    'Direction': dbus.Int32(direction), 'Number': dbus.String(number),
                    'Multiparty': False},
                   [('Accept', '', '', ''), ('Hangup', '', '', '')])
    modem = mockobject.objects[modem_path]
    calls = list(modem.Get(VOICE_IFACE, 'Calls')) + [dbus.ObjectPath(path)]
    modem.Set(VOICE_IFACE, 'Calls', dbus.Array(calls, signature='o'))
    modem.EmitSignal(VOICE_IFACE, 'CallAdded', 'o', [dbus.ObjectPath(path)])
    return dbus.ObjectPath(path)


@dbus.service.method(MOCK_IFACE, in_signature='oiu', out_signature='')
def SetCallState(self, path, state, reason):
    call = mockobject.objects[path]
    old = call.Get(CALL_IFACE, 'State')
    call.Set(CALL_IFACE, 'State', dbus.Int32(state))
    call.EmitSignal(CALL_IFACE, 'StateChanged', 'iiu',
                    [dbus.Int32(old), dbus.Int32(state), dbus.UInt32(reason)])


@dbus.service.method(MOCK_IFACE, in_signature='o', out_signature='')
def RemoveCall(self, path):
    for modem_path, modem in list(mockobject.objects.items()):
        if VOICE_IFACE not in modem.props:
            continue
        calls = [c for c in modem.Get(VOICE_IFACE, 'Calls') if str(c) != str(path)]
        if len(calls) != len(modem.Get(VOICE_IFACE, 'Calls')):
            modem.Set(VOICE_IFACE, 'Calls', dbus.Array(calls, signature='o'))
            modem.EmitSignal(VOICE_IFACE, 'CallDeleted', 'o', [dbus.ObjectPath(path)])
    self.RemoveObject(path)
