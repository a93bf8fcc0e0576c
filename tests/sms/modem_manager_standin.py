#!/usr/bin/python3
"""A ModemManager stand-in for the tests: org.freedesktop.ModemManager1 with its ObjectManager,
one modem (Modem, Modem.Messaging, Modem.Modem3gpp), its SIM and the SMS objects the client
creates, on the bus named by --address (a private bus the test started).

A message's State goes stored (1) -> sending (4) -> sent (5); a failed send replies to Send with
an error and puts the message back to stored, as ModemManager does.

Controlled over standard input, one command a line; every command is answered with lines ending
in "end" on standard output:
  add [EQUIPMENT [PORT]]      the modem appears (again), under a new object path
  remove                      the modem goes away
  outcome sent|fail|hang      how the next sends end (hang: Send never replies)
  refuse on|off               Create, Send, Delete and SendPin refused with AccessDenied
  lock PIN                    the SIM is locked until SendPin(PIN)
  state N                     the modem's State (MMModemState); other than 2, the SIM unlocked
  log                         what clients did: "create NUMBER HEXTEXT", "send PATH",
                              "delete PATH", "sendpin PIN", in order
  stored                      how many messages the modem holds
Prints "ready" once the name is owned.
"""

import argparse
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

MM = "org.freedesktop.ModemManager1"
MM_PATH = "/org/freedesktop/ModemManager1"
PROPS = "org.freedesktop.DBus.Properties"
OBJECT_MANAGER = "org.freedesktop.DBus.ObjectManager"
MODEM = MM + ".Modem"
MESSAGING = MODEM + ".Messaging"
GPP = MODEM + ".Modem3gpp"
SIM = MM + ".Sim"
SMS = MM + ".Sms"

STATE_LOCKED = 2
STATE_REGISTERED = 8
LOCK_NONE = 1
LOCK_SIM_PIN = 2
SMS_STORED = 1
SMS_SENDING = 4
SMS_SENT = 5


class Refused(dbus.exceptions.DBusException):
    _dbus_error_name = "org.freedesktop.DBus.Error.AccessDenied"


class Failed(dbus.exceptions.DBusException):
    _dbus_error_name = MM + ".Error.MessageError.NetworkFailure"


class WrongPin(dbus.exceptions.DBusException):
    _dbus_error_name = MM + ".Error.MobileEquipment.IncorrectPassword"


class NotFound(dbus.exceptions.DBusException):
    _dbus_error_name = MM + ".Error.Core.NotFound"


class World:
    """The settings the test switches and the record of what clients did."""

    def __init__(self):
        self.log = []
        self.outcome = "sent"
        self.refuse = False
        self.pin = ""
        self.modem = None
        self.manager = None
        self.serial = 0
        self.sms_serial = 0

    def check(self):
        if self.refuse:
            raise Refused("Not authorized to use messaging")


class PropertyObject(dbus.service.Object):
    """An object whose properties are a dict per interface, with PropertiesChanged."""

    def __init__(self, bus, path, props):
        super().__init__(bus, path)
        self.props = props

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.props[interface][name]

    @dbus.service.method(PROPS, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return dbus.Dictionary(self.props.get(interface, {}), signature="sv")

    @dbus.service.signal(PROPS, signature="sa{sv}as")
    def PropertiesChanged(self, interface, changed, invalidated):
        pass

    def update(self, interface, name, value):
        self.props[interface][name] = value
        self.PropertiesChanged(interface, dbus.Dictionary({name: value}, signature="sv"), [])


class Sms(PropertyObject):
    def __init__(self, bus, path, world, number, text):
        super().__init__(bus, path, {SMS: {
            "State": dbus.UInt32(SMS_STORED),
            "Number": dbus.String(number),
            "Text": dbus.String(text),
        }})
        self.world = world

    @dbus.service.method(SMS, in_signature="", out_signature="",
                         async_callbacks=("reply", "error"))
    def Send(self, reply, error):
        self.world.check()
        self.world.log.append("send " + self.__dbus_object_path__)
        self.update(SMS, "State", dbus.UInt32(SMS_SENDING))
        outcome = self.world.outcome
        if outcome == "hang":
            return

        def finish():
            if outcome == "sent":
                self.update(SMS, "State", dbus.UInt32(SMS_SENT))
                reply()
            else:
                self.update(SMS, "State", dbus.UInt32(SMS_STORED))
                error(Failed("The network refused the message"))
            return False

        GLib.timeout_add(100, finish)


class Sim(PropertyObject):
    def __init__(self, bus, path, world):
        super().__init__(bus, path, {SIM: {
            "SimIdentifier": dbus.String("89860000000000000001"),
            "Imsi": dbus.String("460000000000001"),
        }})
        self.world = world

    @dbus.service.method(SIM, in_signature="s", out_signature="")
    def SendPin(self, pin):
        self.world.check()
        self.world.log.append("sendpin " + pin)
        if pin != self.world.pin:
            raise WrongPin("Incorrect password")
        self.world.pin = ""
        modem = self.world.modem
        if modem:
            modem.update(MODEM, "UnlockRequired", dbus.UInt32(LOCK_NONE))
            modem.update(MODEM, "State", dbus.Int32(STATE_REGISTERED))


class Modem(PropertyObject):
    def __init__(self, bus, index, world, equipment, port):
        path = "%s/Modem/%d" % (MM_PATH, index)
        self.sim = Sim(bus, "%s/SIM/%d" % (MM_PATH, index), world)
        locked = bool(world.pin)
        super().__init__(bus, path, {
            MODEM: {
                "Sim": dbus.ObjectPath(self.sim.__dbus_object_path__),
                "State": dbus.Int32(STATE_LOCKED if locked else STATE_REGISTERED),
                "UnlockRequired": dbus.UInt32(LOCK_SIM_PIN if locked else LOCK_NONE),
                "EquipmentIdentifier": dbus.String(equipment),
                "Manufacturer": dbus.String("Example"),
                "Model": dbus.String("Stand-in GSM"),
                "PrimaryPort": dbus.String(port),
                "Ports": dbus.Array([dbus.Struct((dbus.String(port), dbus.UInt32(3))),
                                     dbus.Struct((dbus.String("wwan0"), dbus.UInt32(2)))],
                                    signature="(su)"),
                "SignalQuality": dbus.Struct((dbus.UInt32(67), dbus.Boolean(True))),
            },
            MESSAGING: {
                "Messages": dbus.Array([], signature="o"),
                "SupportedStorages": dbus.Array([dbus.UInt32(2)], signature="u"),
                "DefaultStorage": dbus.UInt32(2),
            },
            GPP: {
                "Imei": dbus.String(equipment),
                "RegistrationState": dbus.UInt32(1),
                "OperatorCode": dbus.String("46000"),
                "OperatorName": dbus.String("Example Mobile"),
            },
        })
        self.world = world
        self.messages = {}

    def interfaces(self):
        return dbus.Dictionary({k: dbus.Dictionary(v, signature="sv")
                                for k, v in self.props.items()}, signature="sa{sv}")

    def set_messages(self):
        self.update(MESSAGING, "Messages",
                    dbus.Array(sorted(self.messages), signature="o"))

    @dbus.service.method(MESSAGING, in_signature="a{sv}", out_signature="o")
    def Create(self, properties):
        self.world.check()
        number = str(properties.get("number", ""))
        text = str(properties.get("text", ""))
        self.world.log.append("create %s %s" % (number, text.encode("utf-8").hex()))
        self.world.sms_serial += 1
        path = "%s/SMS/%d" % (MM_PATH, self.world.sms_serial)
        self.messages[path] = Sms(self._connection, path, self.world, number, text)
        self.set_messages()
        return dbus.ObjectPath(path)

    @dbus.service.method(MESSAGING, in_signature="o", out_signature="")
    def Delete(self, path):
        self.world.check()
        self.world.log.append("delete " + str(path))
        sms = self.messages.pop(str(path), None)
        if sms is None:
            raise NotFound("No such message")
        sms.remove_from_connection()
        self.set_messages()

    @dbus.service.method(MESSAGING, in_signature="", out_signature="ao")
    def List(self):
        return dbus.Array(sorted(self.messages), signature="o")

    def drop(self):
        for sms in self.messages.values():
            sms.remove_from_connection()
        self.messages.clear()
        self.sim.remove_from_connection()
        self.remove_from_connection()


class Manager(dbus.service.Object):
    def __init__(self, bus, world):
        super().__init__(bus, MM_PATH)
        self.world = world

    @dbus.service.method(OBJECT_MANAGER, in_signature="", out_signature="a{oa{sa{sv}}}")
    def GetManagedObjects(self):
        objects = {}
        modem = self.world.modem
        if modem:
            objects[dbus.ObjectPath(modem.__dbus_object_path__)] = modem.interfaces()
        return dbus.Dictionary(objects, signature="oa{sa{sv}}")

    @dbus.service.signal(OBJECT_MANAGER, signature="oa{sa{sv}}")
    def InterfacesAdded(self, path, interfaces):
        pass

    @dbus.service.signal(OBJECT_MANAGER, signature="oas")
    def InterfacesRemoved(self, path, interfaces):
        pass

    @dbus.service.method(MM, in_signature="", out_signature="")
    def ScanDevices(self):
        pass


def handle(world, bus, words):
    if not words:
        return ["error empty command"]
    command, args = words[0], words[1:]
    if command == "add":
        if world.modem:
            return ["error a modem is there"]
        equipment = args[0] if args else "860000000000001"
        port = args[1] if len(args) > 1 else "ttyUSB2"
        modem = Modem(bus, world.serial, world, equipment, port)
        world.serial += 1
        world.modem = modem
        world.manager.InterfacesAdded(modem.__dbus_object_path__, modem.interfaces())
        return ["ok " + modem.__dbus_object_path__]
    if command == "remove":
        modem = world.modem
        if not modem:
            return ["error no modem"]
        world.modem = None
        path = modem.__dbus_object_path__
        names = list(modem.props)
        modem.drop()
        world.manager.InterfacesRemoved(path, names)
        return ["ok"]
    if command == "outcome" and args and args[0] in ("sent", "fail", "hang"):
        world.outcome = args[0]
        return ["ok"]
    if command == "refuse" and args and args[0] in ("on", "off"):
        world.refuse = args[0] == "on"
        return ["ok"]
    if command == "lock" and args:
        world.pin = args[0]
        if world.modem:
            world.modem.update(MODEM, "State", dbus.Int32(STATE_LOCKED))
            world.modem.update(MODEM, "UnlockRequired", dbus.UInt32(LOCK_SIM_PIN))
        return ["ok"]
    if command == "state" and args and world.modem:
        state = int(args[0])
        if state != STATE_LOCKED:
            # Past the lock: the SIM was unlocked (at the modem, say).
            world.pin = ""
            world.modem.update(MODEM, "UnlockRequired", dbus.UInt32(LOCK_NONE))
        world.modem.update(MODEM, "State", dbus.Int32(state))
        return ["ok"]
    if command == "log":
        return list(world.log)
    if command == "stored":
        return [str(len(world.modem.messages) if world.modem else 0)]
    return ["error unknown command " + " ".join(words)]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--address", required=True)
    parser.add_argument("--no-modem", action="store_true")
    options = parser.parse_args()

    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(options.address)
    world = World()
    world.manager = Manager(bus, world)
    if not options.no_modem:
        handle(world, bus, ["add"])
    name = dbus.service.BusName(MM, bus, do_not_queue=True)
    loop = GLib.MainLoop()

    def on_input(channel, condition):
        line = sys.stdin.readline()
        if not line:
            loop.quit()
            return False
        for answer in handle(world, bus, line.split()):
            print(answer)
        print("end", flush=True)
        return True

    GLib.io_add_watch(sys.stdin.fileno(), GLib.IO_IN | GLib.IO_HUP, on_input)
    print("ready", flush=True)
    loop.run()
    del name


if __name__ == "__main__":
    main()
