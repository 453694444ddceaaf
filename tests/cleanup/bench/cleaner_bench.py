#!/usr/bin/env python3
"""Not a test: tidewell-clean beside BleachBit on one prepared home.

Prepares a home holding the caches of a dozen applications, previews each
option both tools know with `bleachbit --preview` and with
`tidewell-clean --preview --json`, and prints the sizes side by side with
the totals. BleachBit reports allocated sizes rounded to its units, so the
apparent size of the files it lists is printed too: that compares what the
two find. Then times measuring about 2 GB of caches against `du -sb` on the
same folders. Usage: cleaner_bench.py TIDEWELL_CLEAN [ROOT]
"""
import json
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

# BleachBit option -> tidewell cleaner id.
SHARED = [
    ("thumbnails.cache", "thumbnails"),
    ("system.recent_documents", "recent-files"),
    ("google_chrome.cache", "chrome-cache"),
    ("chromium.cache", "chromium-cache"),
    ("brave.cache", "brave-cache"),
    ("opera.cache", "opera-cache"),
    ("firefox.cache", "firefox-cache"),
    ("thunderbird.cache", "thunderbird-cache"),
    ("discord.cache", "discord-cache"),
    ("slack.cache", "slack-cache"),
    ("google_chrome.cookies", "chrome-cookies"),
    ("firefox.cookies", "firefox-cookies"),
]
# Caches BleachBit has no option for, beside the shared ones.
OURS_ONLY = ["pip-cache", "npm-cache", "go-build-cache", "yarn-cache", "cargo-registry-cache",
             "vscode-caches", "mesa-shader-cache", "edge-cache", "vivaldi-cache", "uv-cache"]


def write(path, size, seed):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(bytes([seed % 251]) * size)


def spread(folder, count, size, seed):
    for i in range(count):
        write(os.path.join(folder, f"{i // 50:02x}", f"f_{i:05d}"), size + (i * 37) % 4096, seed + i)


def prepare(home):
    cache, config, share = f"{home}/.cache", f"{home}/.config", f"{home}/.local/share"
    for size in ("normal", "large", "x-large"):
        spread(f"{cache}/thumbnails/{size}", 60, 9000, 1)
    write(f"{share}/recently-used.xbel", 40000, 2)
    for profile in ("Default", "Profile 1"):
        for folder in ("google-chrome", "chromium", "BraveSoftware/Brave-Browser", "microsoft-edge", "vivaldi"):
            spread(f"{cache}/{folder}/{profile}/Cache/Cache_Data", 80, 30000, 3)
            spread(f"{cache}/{folder}/{profile}/Code Cache/js", 40, 12000, 4)
            spread(f"{config}/{folder}/{profile}/GPUCache", 4, 60000, 5)
            write(f"{config}/{folder}/{profile}/Cookies", 65536, 6)
    spread(f"{cache}/opera/Cache/Cache_Data", 90, 25000, 7)
    for app in ("firefox", "thunderbird"):
        root = ".mozilla/firefox" if app == "firefox" else ".thunderbird"
        cache_root = "mozilla/firefox" if app == "firefox" else "thunderbird"
        for profile in ("abcd1234.default-release", "efgh5678.work"):
            spread(f"{cache}/{cache_root}/{profile}/cache2/entries", 120, 20000, 8)
            write(f"{home}/{root}/{profile}/cookies.sqlite", 131072, 9)
            write(f"{home}/{root}/{profile}/prefs.js", 3000, 10)
        with open(f"{home}/{root}/profiles.ini", "w") as f:
            f.write("[Profile0]\nName=a\nIsRelative=1\nPath=abcd1234.default-release\n"
                    "[Profile1]\nName=b\nIsRelative=1\nPath=efgh5678.work\n")
    for app in ("discord", "Slack"):
        for folder in ("Cache/Cache_Data", "Code Cache/js", "GPUCache"):
            spread(f"{config}/{app}/{folder}", 50, 15000, 11)
    spread(f"{cache}/pip/http", 200, 40000, 12)
    spread(f"{home}/.npm/_cacache/content-v2", 150, 30000, 13)
    spread(f"{cache}/go-build", 300, 8000, 14)
    spread(f"{cache}/yarn/v6", 100, 20000, 15)
    spread(f"{home}/.cargo/registry/cache/index", 40, 90000, 16)
    spread(f"{config}/Code/Cache", 60, 10000, 17)
    spread(f"{cache}/mesa_shader_cache", 30, 50000, 18)
    spread(f"{cache}/uv/wheels", 50, 70000, 19)


def env_for(home):
    env = dict(os.environ)
    env.update(HOME=home, XDG_CACHE_HOME=f"{home}/.cache", XDG_CONFIG_HOME=f"{home}/.config",
               XDG_DATA_HOME=f"{home}/.local/share", XDG_STATE_HOME=f"{home}/.local/state")
    env.pop("DISPLAY", None)
    return env


def bleachbit(option, env):
    out = subprocess.run(["bleachbit", "--preview", option], env=env, capture_output=True,
                         text=True, timeout=600).stdout
    paths = [line.split(" ", 2)[2] for line in out.splitlines() if line.startswith("Delete ")]
    reported = next((line.split(": ", 1)[1] for line in out.splitlines()
                     if line.startswith("Disk space to be recovered")), "0")
    apparent = sum(os.lstat(p).st_size for p in paths if os.path.isfile(p) and not os.path.islink(p))
    return reported, apparent, len(paths)


def tidewell(program, ids, env):
    out = subprocess.run([program, "--preview", "--json", *ids], env=env, capture_output=True,
                         text=True, check=True).stdout
    return {c["id"]: c for c in json.loads(out)["cleaners"]}


RUNS = 11


def timed(command, env):
    """Median wall and CPU (user + system) seconds of RUNS runs."""
    walls, cpus = [], []
    for _ in range(RUNS):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.monotonic()
        subprocess.run(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        walls.append(time.monotonic() - start)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpus.append(after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime)
    return statistics.median(walls), statistics.median(cpus)


def main():
    program = os.path.abspath(sys.argv[1])
    root = tempfile.mkdtemp(prefix="cleaner-bench.", dir=sys.argv[2] if len(sys.argv) > 2 else None)
    try:
        home = f"{root}/home"
        prepare(home)
        env = env_for(home)
        ours = tidewell(program, [i for _, i in SHARED] + OURS_ONLY, env)
        print("cleaner-bench: one prepared home, option by option (bytes)")
        have_peer = shutil.which("bleachbit") is not None
        if not have_peer:
            print("  bleachbit is not installed (scripts/setup.sh --bench): its columns are skipped")
        print(f"  {'option':28} {'tidewell-clean':>15} {'bleachbit files':>16} {'bleachbit says':>15}  diff")
        total_ours = total_peer = 0
        for option, cleaner in SHARED:
            mine = int(ours[cleaner]["size"])
            total_ours += mine
            if not have_peer:
                print(f"  {option:28} {mine:15d}")
                continue
            reported, apparent, count = bleachbit(option, env)
            total_peer += apparent
            diff = "n/a" if apparent == 0 else f"{100.0 * (mine - apparent) / apparent:+.2f}%"
            print(f"  {option:28} {mine:15d} {apparent:16d} {reported:>15}  {diff}")
        only = sum(int(ours[i]["size"]) for i in OURS_ONLY)
        print(f"  {'(only tidewell: ' + str(len(OURS_ONLY)) + ' caches)':28} {only:15d}")
        print(f"  {'total':28} {total_ours + only:15d} {total_peer if have_peer else 0:16d}")

        # About 2 GB of caches: sparse files, so preparing them writes little.
        folders = []
        for n in range(8):
            folder = f"{home}/.cache/pip/bulk{n}"
            folders.append(folder)
            for i in range(2500):
                path = f"{folder}/{i // 100:02x}/w_{i:05d}.whl"
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as f:
                    f.truncate(100 * 1024 + i)
        pip_bytes = int(tidewell(program, ["pip-cache"], env)["pip-cache"]["size"])
        figures = [("tidewell-clean --measure", timed([program, "--measure", "pip-cache"], env)),
                   ("tidewell-clean --preview --json", timed([program, "--preview", "--json", "pip-cache"], env)),
                   ("tidewell-clean --help (start only)", timed([program, "--help"], env)),
                   ("du -sb", timed(["du", "-sb", f"{home}/.cache/pip"], env))]
        du_wall, du_cpu = figures[-1][1]
        print(f"cleaner-bench: measuring {pip_bytes / 1e9:.2f} GB in {8 * 2500 + 200} files "
              f"(median of {RUNS}, warm cache, process start included)")
        print(f"  {'':36} {'wall ms':>8} {'cpu ms':>8} {'wall/du':>8} {'cpu/du':>8}")
        for name, (wall, cpu) in figures:
            print(f"  {name:36} {wall * 1000:8.0f} {cpu * 1000:8.0f} {wall / du_wall:8.2f} {cpu / du_cpu:8.2f}")
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
