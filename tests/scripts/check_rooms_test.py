#!/usr/bin/env python3
"""scripts/check_rooms.py on small made-up trees: each fault it must find, and
the includes it must let through."""

import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import check_rooms  # noqa: E402

RULES = """protocol:
engine: protocol
ui: engine protocol
cli: engine protocol
tests: *
qt: ui tests
never: ui -> cli
"""

# (what, rules block, {file: text}, fault expected in the output or None)
CASES = [
    ("a room above", RULES, {"protocol/A.cpp": '#include "engine/B.h"\n'},
     'protocol/A.cpp:1: #include "engine/B.h": protocol/ may not include engine/'),
    ("a path up from a subfolder", RULES, {"engine/sub/A.cpp": '#include "../../ui/W.h"\n', "ui/W.h": ""},
     "engine/ may not include ui/"),
    ("tests beside their support", RULES, {"tests/x/A.cpp": '#include "../support/S.h"\n', "tests/support/S.h": ""},
     None),
    ("Qt in a plain room", RULES, {"engine/A.cpp": "#include <vector>\n  #  include <QtCore>\n"},
     "engine/A.cpp:2: #include <QtCore>: Qt outside the rooms that may include it (tests, ui)"),
    ("a forbidden pair let through", RULES.replace("ui: engine", "ui: cli engine"), {"ui/W.cpp": '#include "cli/C.h"\n'},
     "the rooms block lets ui/ include cli/, which 'never' forbids"),
    ("a circle", RULES.replace("protocol:", "protocol: engine"),
     {"protocol/A.h": '#include "engine/B.h"\n', "engine/B.h": '#include "protocol/A.h"\n'},
     "includes go in a circle: engine/ -> protocol/ -> engine/"),
    ("a folder that is no room", RULES, {"stray/A.cpp": ""}, "stray/: holds C++ sources but is no room"),
    ("two blocks", RULES + "```\n\n```rooms\n", {}, "must hold one ```rooms block, it holds 2"),
]


class CheckRoomsTest(unittest.TestCase):
    def test_cases(self):
        for what, rules, files, fault in CASES:
            with self.subTest(what), tempfile.TemporaryDirectory() as root:
                os.makedirs(os.path.join(root, "docs"))
                with open(os.path.join(root, "docs", "ARCHITECTURE.md"), "w") as f:
                    f.write("# Rooms\n\n```rooms\n" + rules + "```\n")
                for path, text in files.items():
                    os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
                    with open(os.path.join(root, path), "w") as f:
                        f.write(text)
                try:
                    faults = check_rooms.check(root)
                except check_rooms.RulesError as e:
                    faults = [str(e)]
                if fault is None:
                    self.assertEqual(faults, [])
                else:
                    self.assertTrue(any(fault in line for line in faults), faults)


if __name__ == "__main__":
    unittest.main()
