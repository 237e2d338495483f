#!/usr/bin/env python3
"""The files of the repair comparison (repair_peer_bench.sh), made with the peer harness's
own generator so that both programs repair exactly the payload the harness installs.

  repair_peer.py prepare WORK PEERS [--files N --values M --ini K]
      the payload, app.msi (Windows Installer's package, built by the harness's build step
      with wixl and msibuild), tarnbase.exe, and ours-install.lst: the baseline program's
      install list for the same payload in a folder of its own (the package installs into
      <Program Files>\\TarnBench\\App, ours into ...\\TarnBench\\Ours, so that both stay
      installed in one prefix)
  repair_peer.py journal WORK PEERS PREFIX SOURCE
      INSTALL.LOG of our installation as the installer writes it for a repairable
      application: every file with its stamp (date and time as the prefix shows them in
      local time, size, CRC-32) and the section's "Source: " record naming the installation
      program SOURCE (a Windows path in the prefix) with its date, time and size
  repair_peer.py record WORK PEERS OUT.reg
      the repair record of our installation (every file and every registry value as a check
      entry), for regedit
  repair_peer.py damage WORK PEERS PREFIX msi|ours
      damages the same ten files in one installation: five deleted, five overwritten with
      other bytes of the same size and the same last-write time (only the checksum tells them)
  repair_peer.py check WORK PEERS PREFIX msi|ours
      prints "<restored> <damaged>": how many of the ten came back byte for byte
  repair_peer.py victims WORK PEERS msi|ours
      the ten damaged files' Windows paths, one a line
"""
import argparse
import datetime
import json
import os
import sys
import zlib

VICTIMS = 10
OURS = "Ours"


def load_harness(peers):
    sys.path.insert(0, peers)
    import bench  # noqa: E402  (the peer harness)
    import emit  # noqa: E402
    import gen_app  # noqa: E402
    return bench, emit, gen_app


def manifest(work):
    with open(os.path.join(work, "manifest.json")) as fh:
        return json.load(fh)


def ours_manifest(man):
    ours = dict(man)
    ours["install_name"] = OURS
    return ours


def unix_path(prefix, win):
    rest = win[3:] if win[1:3] == ":\\" else win
    return os.path.join(prefix, "drive_c", *rest.split("\\"))


def victims(man):
    step = max(1, len(man["files"]) // VICTIMS)
    return [man["files"][i] for i in range(0, len(man["files"]), step)][:VICTIMS]


def tree(man, emit, which):
    return emit.install_dir_win(man if which == "msi" else ours_manifest(man))


def prepare(a):
    bench, emit, gen_app = load_harness(a.peers)

    class Args:
        pass
    args = Args()
    args.files, args.values, args.ini = a.files, a.values, a.ini
    args.dirs, args.seed, args.work = 40, 1, a.work
    args.peers = ["msi", "base"]
    harness = bench.Bench(args)
    harness.build()
    ours = ours_manifest(harness.man)
    install, _ = emit.make_lists(ours, bench.winpath(os.path.join(harness.work, "payload")))
    with open(os.path.join(a.work, "ours-install.lst"), "w") as fh:
        fh.write("\n".join(install) + "\n")


def stamp_of(path):
    """' MM-DD-YYYY | HH:MM:SS | version | size | crc32' of a file, its time in local time
    (the file's last write, as the installer logs it)."""
    with open(path, "rb") as fh:
        data = fh.read()
    when = datetime.datetime.fromtimestamp(os.stat(path).st_mtime)
    return " %s | 1.0.0.0 | %d | %08x" % (when.strftime("%m-%d-%Y | %H:%M:%S"), len(data),
                                          zlib.crc32(data))


def journal(a):
    _, emit, _ = load_harness(a.peers)
    man = ours_manifest(manifest(a.work))
    # The INI file was there before: the package installed it first.
    lines = emit.make_journal(man, ini_new=False).decode("cp1252").split("\r\n")
    source = unix_path(a.prefix, a.source)
    when = datetime.datetime.fromtimestamp(os.stat(source).st_mtime)
    out = []
    for line in lines:
        if line.startswith("File Copy: "):
            line += " |" + stamp_of(unix_path(a.prefix, line[len("File Copy: "):]))
        out.append(line)
        if line.startswith("Title: "):
            out.append("Source: %s | %s | %d" % (a.source, when.strftime("%m-%d-%Y | %H:%M:%S"),
                                                 os.stat(source).st_size))
    target = unix_path(a.prefix, emit.install_dir_win(man) + "\\" + emit.JOURNAL)
    with open(target, "wb") as fh:
        fh.write("\r\n".join(out).encode("cp1252"))


def reg_text(text):
    return text.replace("\\", "\\\\").replace('"', '\\"')


def record(a):
    _, emit, _ = load_harness(a.peers)
    man = ours_manifest(manifest(a.work))
    inst = emit.install_dir_win(man)
    key = ("HKEY_LOCAL_MACHINE\\Software\\Tarn Solutions\\Tarn Installation System\\Repair\\" +
           (inst + "\\" + emit.JOURNAL).replace("\\", "/"))
    rows = ["REGEDIT4", "", "[%s]" % key]
    rows += ['"%s"=dword:00000001' % reg_text(inst + "\\" + f["path"]) for f in man["files"]]
    rows += ['"%s"=""' % reg_text("2\\%s\\\\%s" % (v["key"], v["name"]))
             for v in man["reg_values"]]
    with open(a.out, "w", newline="") as fh:
        fh.write("\r\n".join(rows) + "\r\n")


def damage(a):
    _, emit, _ = load_harness(a.peers)
    man = manifest(a.work)
    root = tree(man, emit, a.which)
    for n, f in enumerate(victims(man)):
        path = unix_path(a.prefix, root + "\\" + f["path"])
        if n % 2 == 0:
            os.remove(path)
            continue
        st = os.stat(path)
        with open(path, "rb") as fh:
            data = fh.read()
        with open(path, "wb") as fh:
            fh.write(bytes(b ^ 0x5A for b in data))
        os.utime(path, ns=(st.st_atime_ns, st.st_mtime_ns))


def check(a):
    _, emit, _ = load_harness(a.peers)
    man = manifest(a.work)
    root = tree(man, emit, a.which)
    restored = 0
    for f in victims(man):
        with open(os.path.join(a.work, "payload", *f["path"].split("\\")), "rb") as fh:
            wanted = fh.read()
        path = unix_path(a.prefix, root + "\\" + f["path"])
        if os.path.isfile(path):
            with open(path, "rb") as fh:
                restored += fh.read() == wanted
    print(restored, len(victims(man)))


def list_victims(a):
    _, emit, _ = load_harness(a.peers)
    man = manifest(a.work)
    root = tree(man, emit, a.which)
    for f in victims(man):
        print(root + "\\" + f["path"])


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    sub = ap.add_subparsers(dest="command", required=True)

    def command(name, *positional):
        p = sub.add_parser(name)
        for arg in ("work", "peers") + positional:
            p.add_argument(arg)
        return p
    p = command("prepare")
    p.add_argument("--files", type=int, default=2000)
    p.add_argument("--values", type=int, default=1000)
    p.add_argument("--ini", type=int, default=100)
    command("journal", "prefix", "source")
    command("record", "out")
    for name in ("damage", "check"):
        command(name, "prefix").add_argument("which", choices=["msi", "ours"])
    command("victims").add_argument("which", choices=["msi", "ours"])
    a = ap.parse_args()
    a.work = os.path.abspath(a.work)
    {"prepare": prepare, "journal": journal, "record": record, "damage": damage,
     "check": check, "victims": list_victims}[a.command](a)


if __name__ == "__main__":
    main()
