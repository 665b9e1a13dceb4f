"""Reads the chart as a screen reader does, through the accessibility bus.

Starts the program with the sample list, presses "Start Creating Template"
through its accessible action, and waits for the preview's picture to tell
each row's label, amount and share in percent, in the list's order.
    read-chart.py PROGRAM
"""
import subprocess
import sys
import time

import pyatspi

SAMPLE = [("Savings", 25000), ("401k", 55000), ("Stocks", 15000),
          ("House", 250000), ("Bonds", 11000), ("Car", 7500)]
DEADLINE = 300  # seconds: the first chart starts LibreOffice, slowly on a busy machine


def wait_for(what, find):
    """Polls find() until it answers something, and answers that."""
    end = time.monotonic() + DEADLINE
    while time.monotonic() < end:
        try:
            found = find()
        except Exception:  # the tree changes while it is read
            found = None
        if found:
            return found
        time.sleep(0.2)
    sys.exit(f"FAIL: no {what} within {DEADLINE} s")


def program():
    desktop = pyatspi.Registry.getDesktop(0)
    return next((app for app in desktop if app is not None and app.name == "Quintarra"), None)


def node(root, test):
    return pyatspi.findDescendant(root, test) if root else None


def by_name(role, name):
    return lambda n: n is not None and n.getRole() == role and n.name == name


def expected_lines():
    total = sum(amount for _, amount in SAMPLE)
    return [(label, f"{round(100 * amount / total)}%") for label, amount in SAMPLE]


def main():
    child = subprocess.Popen([sys.argv[1]])
    try:
        start = wait_for("\"Start Creating Template\" button",
                         lambda: node(program(), by_name(pyatspi.ROLE_PUSH_BUTTON,
                                                         "Start Creating Template")))
        start.queryAction().doAction(0)
        picture = wait_for("described chart picture", lambda: node(
            program(), lambda n: n is not None and "House" in (n.description or "")))
        text = picture.description
        print(f"name: {picture.name}\ndescription: {text}")
        if not picture.name:
            sys.exit("FAIL: the picture has no name")
        # Each slice's part of the text runs from its label to the next one's.
        at = 0
        parts = []
        for label, share in expected_lines():
            found = text.find(f"{label}: ", at)
            if found < 0:
                sys.exit(f"FAIL: {label} not found in the list's order")
            parts.append((found, label, share))
            at = found + len(label)
        for (start, label, share), end in zip(parts, [p[0] for p in parts[1:]] + [len(text)]):
            if f"({share})" not in text[start:end]:
                sys.exit(f"FAIL: {label} is not told with its share {share}")
        back = node(program(), by_name(pyatspi.ROLE_PUSH_BUTTON, "< Back"))
        hscroll = node(program(), by_name(pyatspi.ROLE_SCROLL_BAR, "Scroll the chart across"))
        if not back or not hscroll:
            sys.exit("FAIL: the preview's controls lost their names")
        print("PASS")
    finally:
        child.terminate()
        child.wait(timeout=120)


main()
