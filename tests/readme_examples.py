"""The README's examples, run as they stand: every indented block whose
lines start with "$ " is a session; "$ cat FILE" followed by lines writes
FILE, every other command must print exactly the lines that follow it
(standard output, then standard error)."""

import os
import subprocess
import sys
import tempfile


def sessions(readme):
    block = []
    for line in open(readme, encoding="utf-8").read().splitlines() + [""]:
        if line.startswith("    "):
            block.append(line[4:])
            continue
        if block and block[0].startswith("$ "):
            yield block
        block = []


def main(readme, *bindirs):
    env = dict(os.environ, PATH=os.pathsep.join(bindirs) + os.pathsep + os.environ["PATH"])
    failures = 0
    with tempfile.TemporaryDirectory() as work:
        for block in sessions(readme):
            steps = []
            for line in block:
                if line.startswith("$ "):
                    steps.append((line[2:], []))
                else:
                    steps[-1][1].append(line)
            for command, expected in steps:
                if command.startswith("cat ") and expected:
                    with open(os.path.join(work, command[4:]), "w") as f:
                        f.write("\n".join(expected) + "\n")
                    continue
                run = subprocess.run(["bash", "-c", command], cwd=work, env=env, capture_output=True, text=True)
                printed = (run.stdout + run.stderr).splitlines()
                if printed != expected:
                    failures += 1
                    print(f"README: $ {command}\nprinted:\n" + "\n".join(printed) + "\nexpected:\n" + "\n".join(expected))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
