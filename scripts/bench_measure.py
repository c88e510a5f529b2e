"""Runs copiers of one site in turn and prints what each cost.

    bench_measure.py make-site DIR PAGES
    bench_measure.py compare URL SMALL_URL HARBEK RUNS
    bench_measure.py compare-https URL HARBEK RUNS CA_FILE
    bench_measure.py compare-modes URL HARBEK RUNS "OPTIONS" ...
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time


def make_site(root, pages, prefix=""):
    """PAGES pages under root/prefix, each with a few links to others and one image."""
    root = os.path.join(root, prefix)
    os.makedirs(os.path.join(root, "img"), exist_ok=True)
    gif = bytes.fromhex("47494638396101000100800000000000ffffff21f90401000000002c00000000010001000002024401003b")
    for i in range(pages):
        folder = os.path.join(root, "p%d" % (i // 100))
        os.makedirs(folder, exist_ok=True)
        links = "".join('<a href="%s/p%d/page%d.html">page %d</a>\n' % (prefix and "/" + prefix, j // 100, j, j)
                        for j in ((i + 1) % pages, (i * 7 + 3) % pages, (i * 13 + 5) % pages))
        with open(os.path.join(folder, "page%d.html" % i), "w") as f:
            f.write("<html><head><title>page %d</title></head><body>\n<h1>page %d</h1>\n%s"
                    '<img src="%s/img/i%d.gif">\n<p>%s</p></body></html>\n'
                    % (i, i, links, prefix and "/" + prefix, i, "text " * 40))
        with open(os.path.join(root, "img", "i%d.gif" % i), "wb") as f:
            f.write(gif)
    with open(os.path.join(root, "index.html"), "w") as f:
        f.write('<html><body><a href="%s/p0/page0.html">start</a></body></html>\n' % (prefix and "/" + prefix))


def count_files(folder):
    return sum(len(files) for path, _, files in os.walk(folder) if "/tmp" not in path[len(folder):])


def measure(argv):
    """Wall seconds, CPU seconds and peak resident kilobytes of one command.

    GNU time runs the command: a small C program forks it, so the peak does not
    include the memory of this Python process that a fork from here would carry.
    """
    with tempfile.NamedTemporaryFile("r", suffix=".time") as report:
        start = time.monotonic()
        code = subprocess.call(["/usr/bin/time", "-q", "-f", "%U %S %M", "-o", report.name] + argv,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wall = time.monotonic() - start
        user, system, rss = report.read().split()[-3:]
    return wall, float(user) + float(system), int(rss), code


def run_harbek(harbek, url, interval, judge=None, extra=()):
    # HARBEK_ARGS: options for every harbek run of a comparison (--connections 8).
    extra = list(extra) + os.environ.get("HARBEK_ARGS", "").split()
    out = tempfile.mkdtemp(prefix="bench-harbek-")
    ini = os.path.join(out, "..", os.path.basename(out) + ".ini")
    try:
        r = measure([harbek, "--headless", "--ini", ini, "--save-dir", out, "--interval", str(interval), url]
                    + list(extra))
        return r, (judge(out) if judge else count_files(out))
    finally:
        shutil.rmtree(out, ignore_errors=True)
        if os.path.exists(ini):
            os.remove(ini)


def run_wget(url, judge=None, extra=()):
    out = tempfile.mkdtemp(prefix="bench-wget-")
    try:
        r = measure(["wget", "--mirror", "--no-parent", "-q", "-e", "robots=off", "-P", out] + list(extra) + [url])
        return r, (judge(out) if judge else count_files(out))
    finally:
        shutil.rmtree(out, ignore_errors=True)


def served_files(root):
    """Path under the served root -> bytes, for every file of a real tree."""
    files = {}
    for path, _, names in os.walk(root):
        for name in names:
            full = os.path.join(path, name)
            with open(full, "rb") as f:
                files[os.path.relpath(full, root)] = f.read()
    return files


def judge_copy(served, lower):
    """(files saved, byte-exact files) of a copy, matched against the served
    tree; harbek saves lower-cased paths, wget keeps them."""
    index = {(k.lower() if lower else k): v for k, v in served.items()}

    def judge(out):
        saved = exact = 0
        for path, _, names in os.walk(out):
            rel_dir = os.path.relpath(path, out)
            if rel_dir == "tmp" or rel_dir.startswith("tmp/"):
                continue
            for name in names:
                saved += 1
                rel = os.path.join(rel_dir, name).split("/", 1)[-1]  # without the host folder
                want = index.get(rel)
                if want is not None:
                    with open(os.path.join(path, name), "rb") as f:
                        exact += f.read() == want
        return saved, exact
    return judge


def count_requests(log):
    with open(log, "rb") as f:
        return sum(1 for _ in f)


def compare_real(url, root, log, harbek, runs):
    """harbek and wget, alternating, on a real tree served at url from root."""
    served = served_files(root)
    rows = {"harbek": [], "wget": []}
    for _ in range(runs):
        for name in ("harbek", "wget"):
            before = count_requests(log)
            if name == "harbek":
                r, counts = run_harbek(harbek, url, 0, judge_copy(served, True))
            else:
                r, counts = run_wget(url, judge_copy(served, False))
            rows[name].append((r, counts, count_requests(log) - before))
    print("%-8s %6s %6s %8s %8s %8s %8s %12s" % ("copier", "saved", "exact", "requests", "wall s", "cpu s",
                                                  "peak MB", "exact/s"))
    best = {}
    for name, results in rows.items():
        for (wall, cpu, rss, code), (saved, exact), asked in results:
            print("%-8s %6d %6d %8d %8.3f %8.3f %8.1f %12.1f%s" % (name, saved, exact, asked, wall, cpu, rss / 1024,
                                                                   exact / wall, "" if code == 0 else
                                                                   "  (exit %d)" % code))
        best[name] = (max(r[1][1] / r[0][0] for r in results), min(r[0][1] for r in results),
                      min(r[0][2] for r in results))
    h, w = best["harbek"], best["wget"]
    print("best of %d: harbek/wget  exact files/s %.2f  cpu %.2f  peak memory %.2f" % (runs, h[0] / w[0],
                                                                                        h[1] / w[1], h[2] / w[2]))


def compare(url, small_url, harbek, runs):
    rows = {"harbek": [], "wget": []}
    for _ in range(runs):
        rows["harbek"].append(run_harbek(harbek, url, 0))
        rows["wget"].append(run_wget(url))
    # A page here is any file fetched and saved: the pages and their images.
    print("%-8s %6s %8s %8s %9s %10s" % ("copier", "files", "wall s", "cpu s", "peak MB", "pages/s"))
    best = {}
    for name, results in rows.items():
        for (wall, cpu, rss, code), files in results:
            print("%-8s %6d %8.3f %8.3f %9.1f %10.1f%s" % (name, files, wall, cpu, rss / 1024, files / wall,
                                                           "" if code == 0 else "  (exit %d)" % code))
        best[name] = (min(r[0][0] for r in results), min(r[0][1] for r in results), min(r[0][2] for r in results))
    h, w = best["harbek"], best["wget"]
    print("best of %d: harbek/wget  wall %.2f  cpu %.2f  peak memory %.2f  pages/s %.2f"
          % (runs, h[0] / w[0], h[1] / w[1], h[2] / w[2], w[0] / h[0]))
    (wall, cpu, rss, code), files = run_harbek(harbek, small_url, 100)
    print("default 100 ms interval: %d files in %.1f s, %.2f pages/s (the timer allows 10), cpu %.2f s, peak %.1f MB"
          % (files, wall, files / wall, cpu, rss / 1024))


def compare_modes(url, harbek, runs, modes):
    """Files per second of wget and of harbek with each set of options, in
    turn, and each one's ratio to wget's (best of the runs)."""
    rows = {"wget": []}
    for _ in range(runs):
        (wall, cpu, rss, code), files = run_wget(url)
        rows["wget"].append((files / wall, files, wall, cpu, rss))
        for mode in modes:
            (wall, cpu, rss, code), files = run_harbek(harbek, url, 0, extra=mode.split())
            rows.setdefault(mode, []).append((files / wall, files, wall, cpu, rss))
    best = {name: max(r) for name, r in rows.items()}
    for name, (rate, files, wall, cpu, rss) in best.items():
        print("%-28s files %4d  wall %6.2f s  files/s %6.1f  vs wget %.2f  cpu ms/file %.2f  peak MB %.1f"
              % ("wget --mirror" if name == "wget" else "harbek " + name, files, wall, rate, rate / best["wget"][0],
                 1000 * cpu / max(files, 1), rss / 1024))


def compare_https(url, harbek, runs, ca):
    """harbek and wget, alternating, over https, both trusting the CA file."""
    rows = {"harbek": [], "wget": []}
    for _ in range(runs):
        rows["harbek"].append(run_harbek(harbek, url, 0, extra=["--ca-certificate", ca]))
        rows["wget"].append(run_wget(url, extra=["--ca-certificate=" + ca]))
    print("%-8s %6s %8s %8s %9s %10s" % ("copier", "files", "wall s", "cpu s", "peak MB", "files/s"))
    best = {}
    for name, results in rows.items():
        for (wall, cpu, rss, code), files in results:
            print("%-8s %6d %8.3f %8.3f %9.1f %10.1f%s" % (name, files, wall, cpu, rss / 1024, files / wall,
                                                           "" if code == 0 else "  (exit %d)" % code))
        best[name] = max(files / r[0] for r, files in results)
    print("best of %d over https: files/s harbek %.1f, wget %.1f, harbek/wget %.2f"
          % (runs, best["harbek"], best["wget"], best["harbek"] / best["wget"]))


if __name__ == "__main__":
    if sys.argv[1] == "make-site":
        make_site(sys.argv[2], int(sys.argv[3]), sys.argv[4] if len(sys.argv) > 4 else "")
    elif sys.argv[1] == "compare-https":
        compare_https(sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5])
    elif sys.argv[1] == "compare-modes":
        compare_modes(sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5:])
    elif sys.argv[1] == "compare-real":
        compare_real(sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5], int(sys.argv[6]))
    else:
        compare(sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5]))
