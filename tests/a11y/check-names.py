#!/usr/bin/python3
"""Reads the editor's window as a screen reader does, through AT-SPI, and
checks that every control a person works with has a name from its label.

Run inside a D-Bus session with an X display and the accessibility bus:
    dbus-run-session -- xvfb-run -a tests/a11y/check-names.py ELO FILE
"""
import os
import subprocess
import sys
import time

import pyatspi

EXPECTED = ["ID", "Tipo", "Etiqueta", "Alvo", "Chaves", "Palavras - Chave", "Ordem",
            "Oculto", "Default Edit", "Tags", "Texto do link", "Parâmetros",
            "Árvore de links"]


def names_of(app):
    found = set()
    stack = [app]
    seen = 0
    while stack and seen < 20000:
        node = stack.pop()
        seen += 1
        try:
            if node.name:
                found.add(node.name)
            stack.extend(node[i] for i in range(node.childCount))
        except Exception:  # an object that went away while walking
            continue
    return found


def main():
    elo, links = sys.argv[1], sys.argv[2]
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
               XDG_CONFIG_HOME=os.environ.get("XDG_CONFIG_HOME", "/tmp/elo-a11y-config"))
    proc = subprocess.Popen([elo, links, "--path", "Menu Principal\\Cadastros\\Fornecedores"], env=env)
    try:
        missing = EXPECTED
        for _ in range(60):
            time.sleep(0.5)
            desktop = pyatspi.Registry.getDesktop(0)
            apps = [desktop[i] for i in range(desktop.childCount) if desktop[i] is not None]
            apps = [a for a in apps if a.name in ("elo", "Editor de links")]
            if not apps:
                continue
            names = names_of(apps[0])
            missing = [n for n in EXPECTED if n not in names]
            if not missing:
                print("a11y: every control has its name")
                return 0
        print("a11y: no name for: " + ", ".join(missing), file=sys.stderr)
        return 1
    finally:
        proc.terminate()
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill()


if __name__ == "__main__":
    sys.exit(main())
