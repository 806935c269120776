#!/usr/bin/env python3
"""Tillory's tray panel on a real X server with a tray host: a click on the icon opens the panel under it, Escape,
a click elsewhere and a second click on the icon close it, and a switch flipped on the home page is stored and
still off after a restart. The clipboard page lists copies made with xclip, pins and deletes them in the history
file and copies a row back; the CPU ring follows two busy processes and opens the dashboard on CPU; Quit in the
footer ends Tillory with a copy made just before still written out. Screenshots go to --out."""

import json
import math
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Skip, run_on_desktop, wait_for  # noqa: E402
from keyboard_e2e import Tillory, check, screenshot  # noqa: E402

PANEL_SIZE = (324, 640)

# Where things sit in the panel window, from its top left corner. The sheet's content starts 12 in and is 300
# wide; the home page stacks the gauges card, the switches, the clipboard card and the cleaning card (in that
# order, 10 apart), then the 26 high footer just above the sheet's bottom margin of 12.
CONTENT = 12
GROUP_PROBE_X = CONTENT + 4  # inside every home page group, left of their texts and icons
FOOTER_ABOVE_BOTTOM = 12 + 13  # the footer's middle, up from the sheet's bottom edge
QUIT_X = CONTENT + 300 - 20  # the middle of Quit, the footer's right-most button, about 40 wide
# The gauges card pads its content 8 across and 16 down; three 64 wide rings share its 284 across, the first 15 in;
# their dials are 58 high and the arc runs 26.75 out from the dial's middle.
CPU_RING = (CONTENT + 8 + 15 + 32, CONTENT + 16 + 29)
CPU_RING_RADIUS = 26.75
# The dashboard: a 26 wide back button, then the metric chips three to a row, CPU first; the summary card's body
# (10 in from its sides) carries the user and system bar below the headline; below the card, the search field
# with the Apps/All scopes (96 wide) at its right end. Down the right-most column of chips, the fourth thing that
# is not the sheet's colour is the scopes.
CPU_CHIP = (CONTENT + 26 + 6 + 42, CONTENT + 11)
BAR_X = (CONTENT + 10, CONTENT + 300 - 10)
BAR_ROWS = (CONTENT + 60, CONTENT + 160)
SCOPES_PROBE_X = CONTENT + 300 - 22
ALL_SCOPE_X = CONTENT + 300 - 2 - 24
# Clipboard page: a 26 high header, 8 apart from the rows; each row's mark sits 6..22 in and 7 down; its pin and
# delete buttons (24 wide) hang at the right end, 4 in from it.
CLIP_ROWS_TOP = CONTENT + 26 + 8
CLIP_MARK_X = (CONTENT + 6, CONTENT + 22)
CLIP_PIN_X = CONTENT + 300 - 4 - 24 - 12
CLIP_DELETE_X = CONTENT + 300 - 4 - 12


def panel(app):
    """The panel's frame when it shows, else None."""
    for frame in app.visible_windows():
        if frame[2:] == PANEL_SIZE:
            return frame
    return None


def pixels(path, x, y, width, height):
    """The rows of (r, g, b) of a rectangle of a screenshot."""
    out = subprocess.run(["convert", path, "-crop", f"{width}x{height}+{x}+{y}", "-depth", "8", "rgb:-"],
                         capture_output=True, check=True).stdout
    flat = [tuple(out[i:i + 3]) for i in range(0, len(out) - 2, 3)]
    return [flat[i:i + width] for i in range(0, len(flat), width)]


def differs(a, b, by):
    return max(abs(p - q) for p, q in zip(a, b)) > by


def runs(flags, min_gap=1, min_length=1):
    """(start, end) of each run of true flags, at least `min_length` long; runs at most `min_gap` apart are one."""
    found = []
    for i, flag in enumerate(flags):
        if not flag:
            continue
        if found and i - found[-1][1] <= min_gap:
            found[-1] = (found[-1][0], i + 1)
        else:
            found.append((i, i + 1))
    return [r for r in found if r[1] - r[0] >= min_length]


def sheet_layout(path, frame, probe_x=GROUP_PROBE_X):
    """The sheet's bottom edge (screen y) and the home page's groups (top, bottom in screen y), read down a column
    inside the groups: whatever is not the sheet's own colour."""
    x, y = frame[0], frame[1]
    column = [row[0] for row in pixels(path, x + probe_x, y, 1, PANEL_SIZE[1])]
    sheet = column[CONTENT // 2]
    edge = [row[0] for row in pixels(path, x + 6, y, 1, PANEL_SIZE[1])]
    bottom = y + next((i for i in range(CONTENT, len(edge)) if differs(edge[i], sheet, 12)), len(edge))
    groups = runs([differs(c, sheet, 4) for c in column[:bottom - y]], min_length=20)
    return bottom, [(y + a, y + b) for a, b in groups], sheet


def settled_layout(desktop, frame, out, name, probe_x=GROUP_PROBE_X):
    """The layout once two screenshots in a row agree (the sheet's height animates when its page changes)."""
    shot = os.path.join(out, name)
    last = None

    def same():
        nonlocal last
        screenshot(desktop, shot)
        layout = sheet_layout(shot, frame, probe_x)
        agreed = layout[:2] == (last[:2] if last else None)
        last = layout
        return agreed
    wait_for(same, 10, f"the panel to settle ({name})")
    return shot, last


def click(desktop, x, y):
    desktop.run(["xdotool", "mousemove", str(x), str(y), "click", "1"])


def pixel(path, x, y):
    out = subprocess.run(["convert", path, "-crop", f"1x1+{x}+{y}", "-depth", "8", "rgb:-"], capture_output=True,
                         check=True).stdout
    return tuple(out[:3])


def is_blue(rgb):
    r, g, b = rgb
    return b > 180 and r < 80


def first_switch(path, x, top, bottom):
    """The middle of the first blue run down column `x`: the "Window Switcher" switch, which is on."""
    out = subprocess.run(["convert", path, "-crop", f"1x{bottom - top}+{x}+{top}", "-depth", "8", "rgb:-"],
                         capture_output=True, check=True).stdout
    blue = [is_blue(tuple(out[i:i + 3])) for i in range(0, len(out) - 2, 3)]
    start = blue.index(True)
    end = blue.index(False, start)
    return top + (start + end) // 2


def open_panel(desktop, app, icon):
    desktop.run(["xdotool", "mousemove", str(icon[0]), str(icon[1]), "click", "1"])
    return wait_for(lambda: panel(app), 10, "the panel to open")


def wait_closed(app, what):
    wait_for(lambda: panel(app) is None, 5, f"the panel to close on {what}")


def stored(home, key):
    with open(os.path.join(home, "config", "Tillory", "Tillory.conf")) as f:
        for line in f:
            if line.startswith(key + "="):
                return line.strip().split("=", 1)[1]
    return None


def run(desktop, tillory_bin, out):
    icon = desktop.start_tray()
    if icon is None:
        raise Skip("trayer is not installed")
    home = desktop.tmp
    app = Tillory(desktop, tillory_bin, home)
    time.sleep(1)  # the icon is embedded after start-up

    frame = open_panel(desktop, app, icon)
    # Centred under the icon would cross the right edge: kept 8 points inside it, 6 below the tray.
    check(frame[0] == 1280 - 324 - 8, f"the panel's left edge: {frame}")
    check(24 <= frame[1] <= 36, f"the panel hangs just below the tray: {frame}")
    time.sleep(0.6)
    shot = os.path.join(out, "panel-e2e-open.png")
    screenshot(desktop, shot)
    # Switch rows are 30 apart; the track's middle is 27 in from the sheet's right edge, its top 8 above the
    # middle, clear of the knob.
    x = frame[0] + 12 + 300 - 27
    switch = (x, first_switch(shot, x - 10, frame[1], frame[1] + 640) + 30)  # "Snap Layouts"
    track = (switch[0], switch[1] - 8)
    check(is_blue(pixel(shot, *track)), f"the snap switch shows on: {pixel(shot, *track)}")

    desktop.key("Escape")
    wait_closed(app, "Escape")

    open_panel(desktop, app, icon)
    time.sleep(0.5)
    desktop.run(["xdotool", "mousemove", str(icon[0]), str(icon[1]), "click", "1"])
    wait_closed(app, "a second click on the icon")
    time.sleep(1)
    check(panel(app) is None, "the click that closed the panel did not open it again")

    open_panel(desktop, app, icon)
    time.sleep(0.5)
    desktop.run(["xdotool", "mousemove", str(switch[0]), str(switch[1]), "click", "1"])
    wait_for(lambda: stored(home, "snapEnabled") == "false", 5, "snapEnabled=false stored")
    desktop.run(["xdotool", "mousemove", "200", "500", "click", "1"])
    wait_closed(app, "a click elsewhere")
    app.stop()

    # The wrapper writes the settings file afresh: it is given what the first run stored.
    app = Tillory(desktop, tillory_bin, home, settings={"snapEnabled": stored(home, "snapEnabled")})
    time.sleep(1)
    frame = open_panel(desktop, app, icon)
    time.sleep(0.6)
    shot = os.path.join(out, "panel-e2e-restarted.png")
    screenshot(desktop, shot)
    check(not is_blue(pixel(shot, *track)), f"the snap switch shows off after a restart: {pixel(shot, *track)}")
    desktop.key("Escape")
    wait_closed(app, "Escape")

    clipboard_page(desktop, app, icon, home, out)
    dashboard(desktop, app, icon, out, tillory_bin)
    quit_from_footer(desktop, app, icon, home, out)


def history(home):
    try:
        with open(os.path.join(home, "data", "Tillory", "clipboard-history.json"), "rb") as f:
            return {e["text"]: e for e in json.loads(f.read())}
    except (FileNotFoundError, ValueError):
        return {}  # not written yet, or caught mid-write


def copy(desktop, text):
    proc = desktop.spawn(["xclip", "-quiet", "-selection", "clipboard"], stdin=subprocess.PIPE)
    proc.stdin.write(text.encode())
    proc.stdin.close()


def clip_rows(path, frame, bottom, sheet):
    """The screen y of each clipboard row's mark, top to bottom."""
    top = frame[1] + CLIP_ROWS_TOP
    band = pixels(path, frame[0] + CLIP_MARK_X[0], top, CLIP_MARK_X[1] - CLIP_MARK_X[0], bottom - CONTENT - top)
    marks = runs([any(differs(p, sheet, 40) for p in row) for row in band], min_gap=8, min_length=4)
    return [top + (a + b) // 2 for a, b in marks]


def wait_rows(desktop, frame, out, name, count, timeout=10):
    """Screenshots until the clipboard page shows `count` rows; answers the shot and the rows' marks."""
    shot = os.path.join(out, name)
    last = None

    def shown():
        # Two shots in a row must agree: pages cross-fade, and the rows of one show through the other's.
        nonlocal last
        screenshot(desktop, shot)
        bottom, _, sheet = sheet_layout(shot, frame)
        rows = clip_rows(shot, frame, bottom, sheet)
        agreed = (bottom, rows) == last
        last = (bottom, rows)
        return rows if agreed and len(rows) == count else None
    return shot, wait_for(shown, timeout, f"{count} rows on the clipboard page ({name})")


def press_row_button(desktop, frame, out, mark_y, button_x, done, what):
    """Hovers the row, so that its buttons show, then clicks one; again if `done` has not come true (a click
    that raced the hover's repaint)."""
    x, y = frame[0] + button_x, mark_y + 3
    for attempt in range(3):
        # Two moves: a row that came in under a resting pointer only learns of it when the pointer moves.
        desktop.run(["xdotool", "mousemove", str(frame[0] + 150), str(y), "mousemove", str(frame[0] + 160), str(y)])
        shot = os.path.join(out, "panel-e2e-hover.png")

        def buttons_shown():
            screenshot(desktop, shot)
            sheet = sheet_layout(shot, frame)[2]
            return any(differs(p, sheet, 40) for row in pixels(shot, x - 6, y - 6, 12, 12) for p in row)
        wait_for(buttons_shown, 5, f"the row's buttons on hover ({what})")
        click(desktop, x, y)
        try:
            return wait_for(done, 5, what)
        except AssertionError:
            if attempt == 2:
                raise


def is_orange(rgb):
    r, g, b = rgb
    return r > 200 and 110 < g < 190 and b < 90


def clipboard_page(desktop, app, icon, home, out):
    texts = ["alpha one", "beta two", "gamma three"]
    for text in texts:
        copy(desktop, text)
        wait_for(lambda: text in history(home), 10, f"{text!r} in the history file")

    frame = open_panel(desktop, app, icon)
    _, (_, groups, _) = settled_layout(desktop, frame, out, "panel-e2e-home.png")
    check(len(groups) >= 4, f"gauges, switches, clipboard and cleaning cards on the home page: {groups}")
    card = groups[2]
    for attempt in range(2):
        click(desktop, frame[0] + 160, (card[0] + card[1]) // 2)
        try:
            shot, rows = wait_rows(desktop, frame, out, "panel-e2e-clipboard.png", 3, timeout=8)
            break
        except AssertionError:
            # Again only if the click was lost: the home page, unchanged, is still there.
            if attempt == 1 or sheet_layout(os.path.join(out, "panel-e2e-clipboard.png"), frame)[1] != groups:
                raise

    # Newest first: gamma, beta, alpha. Pinning beta moves it to the top, with the pin's orange mark.
    press_row_button(desktop, frame, out, rows[1], CLIP_PIN_X,
                     lambda: history(home).get("beta two", {}).get("pinned"), "beta pinned in the history file")
    check(not any(history(home)[t]["pinned"] for t in ("alpha one", "gamma three")), "only beta is pinned")
    shot, rows = wait_rows(desktop, frame, out, "panel-e2e-clipboard-pinned.png", 3)

    def pin_drawn():
        screenshot(desktop, shot)
        marks = pixels(shot, frame[0] + CLIP_MARK_X[0], rows[0] - 8, 16, 16)
        return any(is_orange(p) for row in marks for p in row)
    wait_for(pin_drawn, 5, "the first row's mark turned to the orange pin")

    press_row_button(desktop, frame, out, rows[2], CLIP_DELETE_X,
                     lambda: sorted(history(home)) == ["beta two", "gamma three"], "alpha gone from the history file")
    check(history(home)["beta two"]["pinned"] and not history(home)["gamma three"]["pinned"],
          "the pin survives the delete")
    shot, rows = wait_rows(desktop, frame, out, "panel-e2e-clipboard-deleted.png", 2)

    # A click on the pinned row puts it back on the clipboard and closes the panel.
    click(desktop, frame[0] + 160, rows[0] + 3)
    wait_for(lambda: desktop.run(["xclip", "-o", "-selection", "clipboard"], check=False) == "beta two", 10,
             "beta back on the clipboard")
    wait_closed(app, "a row copied back")


def ring_fraction(path, frame):
    """How much of the CPU ring's circle its arc covers, sampled every degree along its middle."""
    cx, cy = frame[0] + CPU_RING[0], frame[1] + CPU_RING[1]
    box = pixels(path, cx - 32, cy - 32, 64, 64)
    covered = 0
    for degree in range(360):
        a = math.radians(degree)
        px = round(32 + CPU_RING_RADIUS * math.sin(a))
        py = round(32 - CPU_RING_RADIUS * math.cos(a))
        r, _, b = box[py][px]
        covered += b > 150 and b - r > 80
    return covered / 360


def dashboard(desktop, app, icon, out, tillory_bin):
    # Two spinning processes take both cores whatever else runs, so the ring must come close to full.
    spinners = [desktop.spawn([sys.executable, "-c", "while True: pass"]) for _ in range(2)]
    try:
        frame = open_panel(desktop, app, icon)
        shot = os.path.join(out, "panel-e2e-busy.png")

        def ring_full():
            screenshot(desktop, shot)
            return ring_fraction(shot, frame) >= 0.8
        wait_for(ring_full, 15, "the CPU ring to fill under two busy processes")

        # The sampling behind the ring, read as numbers: the machine is busy, and much of it is the spinners'.
        reading = json.loads(subprocess.run([tillory_bin, "--snapshot", "--processes"], capture_output=True,
                                            check=True, timeout=60).stdout)
        busy = {p["pid"]: p["cpu"] for p in reading["processes"]}
        check(reading["cpu"]["total"] >= 0.8, f"total CPU under two busy processes: {reading['cpu']}")
        check(sum(busy.get(s.pid, 0) for s in spinners) >= 0.35,
              f"the spinners' CPU: {[busy.get(s.pid) for s in spinners]}")

        click(desktop, frame[0] + CPU_RING[0], frame[1] + CPU_RING[1])
        shot = os.path.join(out, "panel-e2e-dashboard.png")

        def on_cpu():
            screenshot(desktop, shot)
            return is_blue(pixel(shot, frame[0] + CPU_CHIP[0], frame[1] + CPU_CHIP[1]))
        wait_for(on_cpu, 10, "the dashboard to open on CPU")
        wait_for(lambda: screenshot(desktop, shot) or (breakdown(shot, frame) or 0) >= 0.8, 10,
                 "the dashboard's user and system bar near full under two busy processes")

        # The process list's "All" scope names the spinners rather than folding them into System; the shot is
        # for a person to look at.
        _, (_, runs_down, _) = settled_layout(desktop, frame, out, "panel-e2e-dashboard-all.png", SCOPES_PROBE_X)
        check(len(runs_down) >= 4, f"chips, summary card and the scopes on the dashboard: {runs_down}")
        scopes = runs_down[3]
        click(desktop, frame[0] + ALL_SCOPE_X, (scopes[0] + scopes[1]) // 2)
        time.sleep(2)
        screenshot(desktop, os.path.join(out, "panel-e2e-dashboard-all.png"))
    finally:
        for spinner in spinners:
            spinner.kill()
            spinner.wait()

    # Whatever else runs here, the bar comes to agree with a reading taken beside it.
    seen = []

    def agrees():
        screenshot(desktop, shot)
        total = json.loads(subprocess.run([tillory_bin, "--snapshot"], capture_output=True, check=True,
                                          timeout=60).stdout)["cpu"]["total"]
        shown = breakdown(shot, frame)
        seen.append((shown and round(shown, 2), round(total, 2)))
        return shown is not None and abs(shown - total) <= 0.2
    try:
        wait_for(agrees, 20, "the dashboard's bar to follow the CPU once the spinners stop")
    except AssertionError as failed:
        raise AssertionError(f"{failed}; (bar, reading) seen: {seen[-8:]}")
    desktop.key("Escape")
    wait_closed(app, "Escape on the dashboard")


def breakdown(path, frame):
    """The filled share of the dashboard's user and system bar: the topmost pixel row across the summary card's
    body that is bar (filled or bare track) all the way along; the chart's box, lower down, is the only other.
    None while there is no such row (the page still fading in)."""
    width = BAR_X[1] - BAR_X[0]
    band = pixels(path, frame[0] + BAR_X[0], frame[1] + BAR_ROWS[0], width, BAR_ROWS[1] - BAR_ROWS[0])
    card = band[0][width // 2]

    def filled(p):
        return is_orange(p) or (p[2] > 150 and p[2] - p[0] > 80)

    def bar(p):
        return filled(p) or (differs(p, card, 8) and not differs(p, card, 40) and max(p) - min(p) < 6)
    row = next((r for r in band if all(bar(r[i]) for i in range(4, width - 4, width // 8))), None)
    return None if row is None else sum(1 for p in row if filled(p)) / width


def quit_from_footer(desktop, app, icon, home, out):
    frame = open_panel(desktop, app, icon)
    shot, (bottom, _, _) = settled_layout(desktop, frame, out, "panel-e2e-before-quit.png")
    # The copy must still wait for its delayed save when Quit comes: another if the save won the race.
    for attempt in range(3):
        text = f"copied just before quitting {attempt}"
        recorded = app.output().count("recorded copy of")
        copy(desktop, text)
        app.wait_line("recorded copy of", count=recorded + 1)
        if text not in history(home):
            break
    else:
        raise AssertionError("every copy was saved before Quit could be clicked")
    click(desktop, frame[0] + QUIT_X, bottom - FOOTER_ABOVE_BOTTOM)
    check(app.proc.wait(10) == 0, f"Tillory's exit status after Quit: {app.proc.returncode}")
    app.log.close()
    check(text in history(home), f"the last copy written out on Quit: {sorted(history(home))}")


if __name__ == "__main__":
    sys.exit(run_on_desktop(run, "panel"))
