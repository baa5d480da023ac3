#!/usr/bin/python3
# The player as a screen reader sees it, through AT-SPI: every control's role,
# name, description and action, the bar's value, the song line, the order Tab
# takes, a press that acts, and the menus with their items while they are open.
#
# Usage: a11y_check.py PID SESSION_BUS_ADDRESS (DISPLAY set to the player's
# display; the window active with the focus on the song title). Prints what it
# finds; exits 1 on the first failures of a step.
import os
import re
import subprocess
import sys
import time

os.environ["DBUS_SESSION_BUS_ADDRESS"] = sys.argv[2]
import pyatspi  # noqa: E402 (reads the bus address when imported)

PID = int(sys.argv[1])
failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def step_done():
    if failures:
        sys.exit(1)


def poll(condition, seconds=5.0):
    end = time.time() + seconds
    while time.time() < end:
        result = condition()
        if result:
            return result
        time.sleep(0.1)
    return condition()


def descendants(node):
    for i in range(node.childCount):
        child = node[i]
        if child is None:
            continue
        yield child
        yield from descendants(child)


def actions(node):
    try:
        a = node.queryAction()
        return [a.getName(i) for i in range(a.nActions)]
    except NotImplementedError:
        return []


def press(node, name="Press"):
    a = node.queryAction()
    for i in range(a.nActions):
        if a.getName(i) == name:
            return a.doAction(i)
    return False


def key(keys):
    subprocess.run(["xdotool", "key"] + keys.split(), check=True, timeout=10)


def window():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == PID:
            for i in range(app.childCount):
                if app[i].getRoleName() == "frame" and app[i].name == "Sonabel":
                    return app[i]
    return None


main = poll(window, 15)
check(main is not None, "the player's window is a frame named Sonabel")
step_done()


def find(role, name):
    for node in descendants(main):
        if node.getRoleName() == role and node.name == name:
            return node
    return None


def focused():
    # A list's current row reads as focused even when the list is not: the
    # list counts only when nothing else has the focus.
    names = [(n.getRoleName(), n.name) for n in descendants(main)
             if n.getState().contains(pyatspi.STATE_FOCUSED)]
    others = [name for role, name in names if role != "list item"]
    if others:
        return others[0]
    return "Playlist" if names else None


# ---- every control: role, name, description, action ----
buttons = ["Menu", "Previous", "Play", "Pause", "Stop", "Next", "Move up", "Move down",
           "Randomize", "Sort", "Add an album", "Save this album", "Remove from album",
           "Clear album", "Play this MIDI", "Configuration"]
for name in buttons:
    node = find("push button", name)
    check(node is not None and node.description != "" and "Press" in actions(node),
          f"button {name!r} with a description and Press")
boxes = [("check box", n) for n in ["Snap Sonabel to screen", "Start in Shade Mode",
                                    "Always on top", "Set as default Sonabel"]]
boxes += [("radio button", n) for n in ["Add item to playlist", "Interrupt current play",
                                        "None", "General MIDI", "Roland GS"]]
for role, name in boxes:
    node = find(role, name)
    check(node is not None and node.description != "" and "Toggle" in actions(node),
          f"{role} {name!r} with a description and Toggle")
playlist = find("list", "Playlist")
check(playlist is not None and playlist.childCount >= 3 and playlist.description != "",
      "the playlist is a list with its songs")
bar = find("slider", "Position")
check(bar is not None and bar.description != "", "the bar is a slider named Position")
value = bar.queryValue() if bar else None
check(value is not None and value.maximumValue == 100 and 0 <= value.currentValue <= 100,
      "the bar's value is the song's percentage")
line = [n for n in descendants(main) if n.getRoleName() == "label"
        and re.search(r" \(\d+:\d\d\) - \d+:\d\d$", n.name)]
check(len(line) == 1, "the song line is read as a label: " + (line[0].name if line else "none"))
step_done()

# ---- setting the bar's value moves the song ----
value.currentValue = 50
check(bool(poll(lambda: 45 <= value.currentValue <= 60)), "setting the bar to 50 moves the song")

# ---- the order Tab takes, from the song title ----
check(focused() == line[0].name, "the song title has the focus to begin with")
order = ["Previous", "Play", "Pause", "Stop", "Next", "Playlist", "Position", "Move up",
         "Move down", "Randomize", "Sort", "Add an album", "Save this album",
         "Remove from album", "Clear album", "Play this MIDI", "Configuration", "Menu"]
seen = []
for expected in order:
    key("Tab")
    seen.append(poll(lambda: focused() == expected and expected, 3) or focused())
check(seen == order, "Tab goes " + " > ".join(str(s) for s in seen))
step_done()

# ---- a press acts: the panel opens, and its boxes show ----
always = find("check box", "Always on top")
press(find("push button", "Configuration"))
check(bool(poll(lambda: always.getState().contains(pyatspi.STATE_SHOWING))),
      "pressing Configuration opens the panel")
press(find("push button", "Configuration"))
check(bool(poll(lambda: not always.getState().contains(pyatspi.STATE_SHOWING))),
      "pressing it again closes the panel")
step_done()


# ---- the menus, with their items, while they are open ----
def open_menu():
    for i in range(main.childCount):
        child = main[i]
        if child is not None and "menu" in child.getRoleName():
            return child
    return None


def items(menu):
    return [menu[i].name for i in range(menu.childCount) if menu[i] is not None]


press(find("push button", "Menu"))
menu = poll(open_menu)
names = items(menu) if menu else []
check(menu is not None and "Always on top" in names and "Close player" in names
      and "About ..." in names, "the popup menu and its items: " + ", ".join(names))
key("Escape")
check(bool(poll(lambda: open_menu() is None)), "the closed menu is gone")
key("Tab Return")  # the song title: Return opens the play menu
menu = poll(open_menu)
names = items(menu) if menu else []
check(menu is not None and "Albums" in names and len(names) >= 4,
      "the play menu and its items: " + ", ".join(names))
key("Escape")
step_done()
print("all seen")
