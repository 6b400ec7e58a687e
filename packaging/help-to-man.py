#!/usr/bin/env python3
"""Turns `VantrelNotch --help` into the manual page VantrelNotch(1), so that
the page and --help come from the one table of modes.

    help-to-man.py VERSION < help.txt > VantrelNotch.1
"""
import sys


def roff(text):
    return text.replace("\\", "\\e").replace("-", "\\-")


def main():
    version = sys.argv[1]
    lines = sys.stdin.read().splitlines()
    description, modes, in_modes = [], [], False
    for line in lines[1:]:
        if line.strip() == "Modes:":
            in_modes = True
        elif in_modes and line.startswith("  ") and not line.startswith("    "):
            # "  --flag ARGS   text" or a flag line whose text follows on indented lines
            head = line[2:]
            flag, _, text = head.partition("   ")
            modes.append([flag.strip(), [text.strip()] if text.strip() else []])
        elif in_modes and line.strip():
            modes[-1][1].append(line.strip())
        elif not in_modes and line.strip():
            description.append(line.strip())
    out = [
        f'.TH VANTRELNOTCH 1 "" "VantrelNotch {version}" "User Commands"',
        ".SH NAME",
        "VantrelNotch \\- WorkBuddy's permission requests in the notch",
        ".SH SYNOPSIS",
        ".B VantrelNotch",
        "[\\fIMODE\\fR]",
        ".SH DESCRIPTION",
        roff(" ".join(description)),
        ".PP",
        "Without a mode it starts the notch application: a panel at the top centre of the screen where "
        "WorkBuddy's permission requests are allowed, denied or handed back to WorkBuddy. Nothing is ever "
        "allowed automatically.",
        ".SH MODES",
    ]
    for flag, text in modes:
        out += [".TP", f"\\fB{roff(flag)}\\fR", roff(" ".join(text))]
    out += [
        ".SH FILES",
        ".TP",
        "\\fI~/.workbuddy/settings.json\\fR",
        "WorkBuddy's settings, where the hook entries are installed (after a backup).",
        ".TP",
        "\\fI~/.config/vantrel.local/notch.conf\\fR",
        "The notch's own preferences.",
        ".TP",
        "\\fI~/.config/autostart/vantrel-dozer.desktop\\fR",
        "Present when the notch starts at login (the settings window's switch).",
    ]
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
