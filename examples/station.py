#!/usr/bin/env python3
"""A production test station's pass over Quinmark Server, with the Python standard library only.

Finds the Vandrel box and the drivers behind it, commissions the DALI gear with the step search, reads,
writes and checks parameters, makes a profile from the Dorvane driver, saves it to a profile file, loads
it and programs the driver with it, and reads the box's packet log. Ends with exit code 0 when every check
held, 1 when one failed, 2 when the service could not be reached.

    python3 examples/station.py --port 8012

Start the service first, e.g. on the simulated bench (README.md):
QM_SIM_BENCH=sim/benches/default.json bash scripts/run.sh --daemon
"""

import argparse
import json
import sys
import urllib.error
import urllib.request


class RpcError(Exception):
    """A JSON-RPC error object of a reply: its code and message."""

    def __init__(self, code, message):
        super().__init__(f"{code}: {message}")
        self.code = code
        self.message = message


class Service:
    """JSON-RPC 2.0 by POST to the service on this machine."""

    def __init__(self, port):
        self.url = f"http://127.0.0.1:{port}/"
        self.next_id = 1

    def call(self, method, **params):
        body = json.dumps({"jsonrpc": "2.0", "id": self.next_id, "method": method, "params": params})
        self.next_id += 1
        # Only "application/json-rpc" (or a form's type) is taken: any other gets 403 with an empty body.
        request = urllib.request.Request(self.url, body.encode(), {"Content-Type": "application/json-rpc"})
        try:
            with urllib.request.urlopen(request, timeout=300) as reply:
                text = reply.read()
        except urllib.error.HTTPError as error:
            # A JSON-RPC error comes with HTTP 500 (400 for a bad envelope): the body holds it.
            text = error.read()
            if not text:
                raise
        answer = json.loads(text)
        if "error" in answer:
            raise RpcError(answer["error"]["code"], answer["error"]["message"])
        return answer["result"]


class Station:
    def __init__(self, service):
        self.service = service
        self.failures = 0

    def check(self, what, good, detail=""):
        print(f"{'ok  ' if good else 'FAIL'} {what}{': ' + str(detail) if detail != '' else ''}")
        if not good:
            self.failures += 1
        return good

    def find_box(self):
        # Each search with the method "all" replaces the boxes found before; ids come from this reply.
        boxes = self.service.call("universe.search", interface_type="usb")
        self.check("a Vandrel box answers", bool(boxes), len(boxes))
        box = max(boxes, key=lambda d: d["version"])  # the newest firmware
        universes = {u["universe_name"]: u["universe_id"] for u in box["child_universes"]}
        print(f"     box {box['device_id']} (firmware {box['revision']}), universes {universes}")
        return box, universes

    def dorvane_driver(self, universe):
        found = self.service.call("universe.search", universe_id=universe)
        drivers = [d for d in found if d["interface_type"] == "dorvane" and d["profile_type"]]
        if not self.check("a driver on the Dorvane port", bool(drivers)):
            return None
        driver = drivers[0]
        print(f"     driver {driver['device_id']}: {driver['device_name']} ({driver['profile_type']})")
        return driver["device_id"]

    def set_and_check(self, device, pid, value):
        self.service.call("device.param.set", device_id=device, pid=pid, value=value)
        read = self.service.call("device.param.get", device_id=device, pid=pid)["value"]
        return self.check(f"device {device} {pid} = {value}", read == value, read)

    def profile_through_a_file(self, driver):
        # "profile.create" keeps the driver's present values; a name in use would become "Name(1)".
        profile = self.service.call("profile.create", profile_name="Station", profile_description="station pass",
                                    device_id=driver)["name"]
        self.service.call("profile.param.set", profile_name=profile, pid="dali_max_level_percent", value=60)
        # "profile.list" gives the parameters of one access level: the file holds those, and the others
        # come back disabled. "device.profile.set" takes "user_basic" to "dev" only.
        store = self.service.call("profile.list", access_level="user_basic")
        mine = [p for p in store if p["name"] == profile]
        self.service.call("profile.save", path="station/pass.json", profile_data=json.dumps(mine))
        # Loading replaces the whole store; only a profile that came from a file can be programmed.
        loaded = self.service.call("profile.load", path="station/pass.json")
        self.check("the profile file loads", [p["name"] for p in loaded] == [profile], [p["name"] for p in loaded])
        applied = self.service.call("device.profile.set", device_id=driver, profile_name=profile, step_info=True)
        root = applied["steps"]  # the tree of programming steps, "ProfileSet" at its root
        self.check("the driver takes the profile", root["result"] == "ok", root["result"])
        level = self.service.call("device.param.get", device_id=driver, pid="dali_max_level_percent")["value"]
        self.check("the driver holds the profile's value", level == 60, level)

    def commission_dali(self, universe):
        def step(name):
            return self.service.call("universe.search", universe_id=universe, search_method="step",
                                     search_step_name=name)

        # "all" would give the broadcast device; the steps give every gear a short address and a device.
        step("initialise_all")
        gear = []
        for _ in range(200):
            found = step("search_single")
            if not found:  # []: no gear without a short address answered; the search is over
                break
            gear += [d["device_id"] for d in found if "device_id" in d]
            for warning in (d["warning"] for d in found if "warning" in d):
                # A step that used up its budget says so; the next "search_single" goes on from there.
                if warning.startswith("The search step stopped after"):
                    print(f"     {warning}")
                else:
                    self.check("the DALI search settles every gear", False, warning)
        step("end_search")
        self.check("DALI gear commissioned", bool(gear), gear)
        for device in gear:
            self.set_and_check(device, "dali_102_max_level", 250)
        return gear

    def packet_log(self, box, gear):
        # Bus packets are logged on the box that carried them; a gear's own log stays empty.
        log = self.service.call("device.log.get", device_id=box, from_packet=0, count=10)
        self.check("the box logged the bus packets", log["count"] > 0, log["count"])
        for packet in log["packets"][:3]:
            print(f"     {packet['packet_type']} {packet['byte_hex_string']}")
        if gear:
            own = self.service.call("device.log.get", device_id=gear[0], from_packet=0, count=10)
            self.check("a gear's own log is empty", own["count"] == 0, own["count"])

    def run(self):
        box, universes = self.find_box()
        driver = self.dorvane_driver(universes["Dorvane"])
        if driver is not None:
            self.set_and_check(driver, "dimming_curve", "Linear")
            self.profile_through_a_file(driver)
        gear = self.commission_dali(universes["DALI"])
        self.packet_log(box["device_id"], gear)
        print("station: pass" if self.failures == 0 else f"station: {self.failures} failed")
        return 0 if self.failures == 0 else 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=8012, help="the service's HTTP port (default 8012)")
    arguments = parser.parse_args()
    try:
        return Station(Service(arguments.port)).run()
    except RpcError as error:
        print(f"FAIL the service refused a request: {error}")
        return 1
    except (urllib.error.URLError, ConnectionError) as error:
        print(f"FAIL no service on port {arguments.port}: {error}")
        return 2


if __name__ == "__main__":
    sys.exit(main())
