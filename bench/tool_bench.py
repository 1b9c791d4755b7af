#!/usr/bin/env python3
"""quillidar-notes on a diary of a million notes: peak memory and time of export and import,
against the diary's size and against jq reading the same json, in the same run.
   bench/tool_bench.py TOOL WORKDIR [REPS]   (prints a markdown table)"""
import os, random, resource, subprocess, sys, time

tool, work = sys.argv[1], sys.argv[2]
reps = int(sys.argv[3]) if len(sys.argv) > 3 else 3
os.makedirs(work, exist_ok=True)
diary = os.path.join(work, "million.nts")

# A million notes, every key a day (the widget's own keys cover 1928 to 2027 once each, so the
# later notes are copies of keys, as a long-kept or merged diary has), mixed GBK and ASCII.
rng = random.Random(1)
words = ["雪".encode("gbk"), "今天".encode("gbk"), b"walk", b"rain", "日记".encode("gbk"), b"tea", b"ok"]
out = bytearray((1000000).to_bytes(4, "little"))
import datetime
start = datetime.date(1928, 1, 1)
for i in range(1000000):
    d = start + datetime.timedelta(days=i % 36500)
    key = d.strftime("%d%m%y").encode()
    text = b" ".join(rng.choice(words) for _ in range(rng.randint(4, 10)))
    out += bytes([6]) + key + bytes([len(text)]) + text
with open(diary, "wb") as f:
    f.write(out)
size = len(out)

def measured(cmd):
    # Peak resident memory of one child: run each in its own python so ru_maxrss is its own.
    wrapper = ("import resource,subprocess,sys,time;t=time.perf_counter();"
               "r=subprocess.run(sys.argv[1:],stdout=subprocess.DEVNULL);"
               "print(time.perf_counter()-t, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss, r.returncode)")
    times, peaks = [], []
    for _ in range(reps):
        p = subprocess.run([sys.executable, "-c", wrapper] + cmd, capture_output=True, text=True)
        t, kb, rc = p.stdout.split()
        if rc != "0":
            sys.exit(f"{cmd} failed")
        times.append(float(t)); peaks.append(int(kb) * 1024)
    times.sort(); peaks.sort()
    return times[len(times) // 2], peaks[len(peaks) // 2]

json_path = os.path.join(work, "million.json")
env_cmd = [tool, "export", diary, "--format", "json", "-o", json_path]
subprocess.run(env_cmd, check=True)
into = os.path.join(work, "back.nts")

rows = []
jq_time, jq_peak = measured(["jq", "empty", json_path])
for name, cmd in [
    ("export json", [tool, "export", diary, "--format", "json", "-o", os.path.join(work, "e.json")]),
    ("export ics", [tool, "export", diary, "--format", "ics", "-o", os.path.join(work, "e.ics")]),
    ("export json to stdout", [tool, "export", diary, "--format", "json"]),
    ("import json into a new diary", ["sh", "-c", f"rm -f '{into}'; exec '{tool}' import '{json_path}' --into '{into}' >/dev/null"]),
]:
    t, peak = measured(cmd)
    rows.append((name, t, peak))

print(f"### quillidar-notes, a million notes ({size/1e6:.1f} MB diary, {os.path.getsize(json_path)/1e6:.1f} MB json), native, median of {reps}")
print()
print("| run | time | / jq empty | peak memory | / diary size |")
print("|---|---|---|---|---|")
print(f"| jq empty (floor) | {jq_time:.2f} s | 1.00 | {jq_peak/1e6:.0f} MB | {jq_peak/size:.2f} |")
for name, t, peak in rows:
    print(f"| {name} | {t:.2f} s | {t/jq_time:.2f} | {peak/1e6:.0f} MB | {peak/size:.2f} |")
print()
print("Targets: peak memory within 2x the diary (plus a constant), time within 1.5x jq.")
