#!/usr/bin/env python3
"""Drives RV450 Kestrun through the AT-SPI accessibility bus, as a screen reader
or a voice-control program does, and checks what it finds.

    atspi_walk.py KESTRUN WORKDIR COM

Starts KESTRUN --workdir WORKDIR (on the D-Bus session this runs in), accepts
the Main Setting dialog through its OK button's action, waits for the port
check on COM to succeed, then checks that every input of the dialog and of
the form has a name, and that toggling each group's "Enable This Function"
box through its toggle action enables the group and builds its command
preview (read back through the Text interface). Ends the program with SIGTERM
and expects it to close cleanly. Prints one line per check and a summary.
"""
import os
import signal
import subprocess
import sys
import time
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

# The action names' getter is marked deprecated for a successor this version
# of the bindings does not have yet.
warnings.filterwarnings("ignore", category=DeprecationWarning)

INPUT_ROLES = {
    Atspi.Role.CHECK_BOX,
    Atspi.Role.RADIO_BUTTON,
    Atspi.Role.PUSH_BUTTON,
    Atspi.Role.TEXT,
    Atspi.Role.ENTRY,
    Atspi.Role.PASSWORD_TEXT,
    Atspi.Role.COMBO_BOX,
    Atspi.Role.SPIN_BUTTON,
}
# Group box title -> what its preview starts with.
GROUPS = {
    "RVSRI: For GPRS Setting and Main Server Register": "AT+RVSRI=",
    "RVBEI: For Secondary Server Register": "AT+RVBEI=",
    "RVTRI: For Scheduled Timing Report": "AT+RVTRI=",
    "RVRTO: For Real Time Operation": "AT+RVRTO=",
    "RVBAC: Enable or Disable Some Special Functions": "AT+RVBAC=",
    "RVWLT: White Call List Table": "AT+RVWLT=",
    "RVPIN: Auto unlock SIM-PIN": "AT+RVPIN=",
}

passed = 0
failed = 0


def report(ok, name, detail=""):
    global passed, failed
    if ok:
        passed += 1
        print(f"ok    {name}", flush=True)
    else:
        failed += 1
        print(f"FAIL  {name}" + (f"\n      {detail}" if detail else ""), flush=True)


def wait_for(what, probe, timeout=60.0):
    deadline = time.monotonic() + timeout
    while True:
        result = probe()
        if result:
            return result
        if time.monotonic() > deadline:
            raise TimeoutError(f"timed out waiting for {what}")
        time.sleep(0.1)


def children(node):
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            yield child


def walk(node):
    yield node
    for child in children(node):
        yield from walk(child)


def has_state(node, state):
    return node.get_state_set().contains(state)


def find(root, role, name):
    for node in walk(root):
        if node.get_role() == role and node.get_name() == name:
            return node
    return None


def do_action(node, wanted):
    for i in range(Atspi.Action.get_n_actions(node)):
        if Atspi.Action.get_action_name(node, i).lower() == wanted:
            return Atspi.Action.do_action(node, i)
    return False


def text_of(node):
    return Atspi.Text.get_text(node, 0, -1) or ""


def application(pid):
    desktop = Atspi.get_desktop(0)
    for app in children(desktop):
        if app.get_process_id() == pid:
            app.set_cache_mask(Atspi.Cache.NONE)
            return app
    return None


def window(app, name):
    app.clear_cache()
    for node in children(app):
        if node.get_name() == name:
            return node
    return None


def unnamed_inputs(root):
    missing = []
    for node in walk(root):
        if node.get_role() in INPUT_ROLES and has_state(node, Atspi.StateType.VISIBLE):
            if not node.get_name():
                parent = node.get_parent()
                missing.append(f"{node.get_role_name()} in '{parent.get_name() if parent else ''}'")
    return missing


def check_enable_box(form, title, prefix):
    group = find(form, Atspi.Role.PANEL, title) or next(
        (n for n in walk(form) if n.get_name() == title and n.get_child_count() > 0), None)
    if group is None:
        report(False, f"{title}: group found")
        return
    box = find(group, Atspi.Role.CHECK_BOX, "Enable This Function")
    send = find(group, Atspi.Role.PUSH_BUTTON, "Send")
    preview = find(group, Atspi.Role.TEXT, "Command Preview")
    if not (box and send and preview):
        report(False, f"{title}: enable box, Send and preview found")
        return
    before_sensitive = has_state(send, Atspi.StateType.SENSITIVE)
    do_action(box, "toggle")
    try:
        wait_for("the group to be enabled", lambda: has_state(send, Atspi.StateType.SENSITIVE), 10)
        wait_for("the preview", lambda: text_of(preview).startswith(prefix), 10)
        inputs = [n for n in walk(group) if n.get_role() in (Atspi.Role.TEXT, Atspi.Role.COMBO_BOX)
                  and n.get_name() != "Command Preview"]
        dead = [n.get_name() for n in inputs if not has_state(n, Atspi.StateType.SENSITIVE)]
        report(not before_sensitive and has_state(box, Atspi.StateType.CHECKED) and not dead,
               f"toggle action of '{title}' enables the group and builds '{text_of(preview)[:24]}...'",
               f"checked={has_state(box, Atspi.StateType.CHECKED)} disabled inputs={dead}")
    except TimeoutError as error:
        report(False, f"toggle action of '{title}' enables the group and builds its preview",
               f"{error}; preview='{text_of(preview)}'")


class ProgramEnded(Exception):
    pass


def start(kestrun, workdir, log_path):
    """Starts the program; the probe it returns finds it on the accessibility bus."""
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    with open(log_path, "w") as log:
        proc = subprocess.Popen([kestrun, "--workdir", workdir], env=env, stdout=log, stderr=subprocess.STDOUT)

    def program_on_bus():
        if proc.poll() is not None:
            raise ProgramEnded(f"the program ended (status {proc.returncode}) before it joined the bus")
        return application(proc.pid)

    return proc, program_on_bus


def main():
    kestrun, workdir, com = sys.argv[1], sys.argv[2], sys.argv[3]
    log_path = os.path.join(workdir, "kestrun.log")
    proc, program_on_bus = start(kestrun, workdir, log_path)
    try:
        try:
            app = wait_for("the program on the accessibility bus", program_on_bus)
        except ProgramEnded as error:
            # A display that refused the program's first connection is the test
            # machine's fault, not the program's: say so and start it once more.
            output = open(log_path).read()
            if "could not connect to display" not in output:
                raise TimeoutError(str(error))
            print(f"note  {error}; its output:\n{output}note  starting it once more", flush=True)
            proc, program_on_bus = start(kestrun, workdir, log_path)
            app = wait_for("the program on the accessibility bus", program_on_bus)
        dialog = wait_for("Main Setting", lambda: window(app, "Main Setting"))
        missing = unnamed_inputs(dialog)
        report(not missing, "every input of Main Setting has a name", ", ".join(missing))
        ok = find(dialog, Atspi.Role.PUSH_BUTTON, "OK")
        report(ok is not None and do_action(ok, "press"), "Main Setting's OK pressed through its action")

        form = wait_for("the main window", lambda: window(app, "Marsival RV450 Kestrun Did2.25"))
        expected = f"Init COM:{com} Baudrate:115200 Success ."
        status = wait_for("the port check",
                          lambda: next((n for n in walk(form) if n.get_role() == Atspi.Role.LABEL
                                        and n.get_name().startswith("Init COM:")), None))
        wait_for(expected, lambda: status.get_name() != "Init System ......")
        report(status.get_name() == expected, "the port check succeeds on the simulator", status.get_name())
        report(os.path.exists(os.path.join(workdir, "MainSetting.ini")), "MainSetting.ini is in --workdir")

        missing = unnamed_inputs(form)
        count = sum(1 for n in walk(form) if n.get_role() in INPUT_ROLES)
        report(not missing and count > 100, f"every input of the form has a name ({count} inputs)",
               ", ".join(missing))
        for title, prefix in GROUPS.items():
            check_enable_box(form, title, prefix)
    except (TimeoutError, ProgramEnded) as error:
        report(False, "the window could be driven", str(error))
    finally:
        if proc.poll() is None:
            proc.send_signal(signal.SIGTERM)
        try:
            status = proc.wait(timeout=60)
        except subprocess.TimeoutExpired:
            proc.kill()
            status = "killed"
        report(status == 0, "the program closes cleanly on SIGTERM", f"exit status {status}")
    print(f"accessibility checks: {passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
