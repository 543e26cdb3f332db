"""Prints the benchmark table of bench/run from the results it collected."""
import json
import os
import platform
import statistics
import subprocess
import sys

results, recording, sparse, isal_crc, rhash_crc = sys.argv[1:6]
SIZES = [("4 KiB", 4096), ("1 MiB", 1 << 20), ("64 MiB", 64 << 20)]
failures = []


def target(ok, text):
    if not ok:
        failures.append(text)
    return ("met" if ok else "MISSED") + ": " + text


def machine():
    model = "unknown processor"
    for line in subprocess.run(["lscpu"], capture_output=True, text=True).stdout.splitlines():
        if line.startswith("Model name:"):
            model = line.split(":", 1)[1].strip()
    return f"{model}, {os.cpu_count()} cores, Linux {platform.release()}"


with open(os.path.join(results, "kernels.json")) as f:
    bench = json.load(f)
rates = {}
for b in bench["benchmarks"]:
    if b.get("aggregate_name") != "median":
        continue
    _, name, size = b["run_name"].split("/")
    rates[(name, int(size))] = b["bytes_per_second"] / 1e9
names = list(dict.fromkeys(name for name, _ in rates))

print(f"Machine: {machine()}")
print()
print("CRC-32 throughput, GB/s (median of 5)")
print(f"  {'function':<24}" + "".join(f"{label:>10}" for label, _ in SIZES))
for name in names:
    print(f"  {name:<24}" + "".join(f"{rates[(name, s)]:>10.2f}" for _, s in SIZES))
ours = [n for n in names if n.startswith("quorvex-") and n != "quorvex-portable"]
best = max(ours, key=lambda n: rates[(n, 1 << 20)]) if ours else "quorvex-portable"
ratio_1m = rates[(best, 1 << 20)] / rates[("isal", 1 << 20)]
ratio_64m = rates[(best, 64 << 20)] / rates[("isal", 64 << 20)]
portable = min(rates[("quorvex-portable", s)] for _, s in SIZES)
print(f"  {best} / isal: {ratio_1m:.2f} on 1 MiB, {ratio_64m:.2f} on 64 MiB")

runs = {}
with open(os.path.join(results, "whole.txt")) as f:
    for line in f:
        name, wall, cpu, rss, code = line.split()
        runs.setdefault(name, []).append((float(wall), int(rss), int(code), float(cpu)))
size = os.path.getsize(recording)
print()
print(f"Whole check of a {size / 2**30:.0f} GiB recording from the page cache "
      f"(median of {len(runs['quorvex-check'])} runs)")
print(f"  {'program':<24}{'wall s':>10}{'GB/s':>10}{'CPU s':>10}{'peak RSS MiB':>14}")
labels = {"quorvex-check": "quorvex-check", "isal-stream": "ISA-L streaming reader",
          "rhash": "rhash --crc32"}
wall = {}
rss = {}
for key, label in labels.items():
    wall[key] = statistics.median(r[0] for r in runs[key])
    rss[key] = max(r[1] for r in runs[key]) / 1024
    cpu = statistics.median(r[3] for r in runs[key])
    print(f"  {label:<24}{wall[key]:>10.3f}{size / wall[key] / 1e9:>10.2f}{cpu:>10.3f}"
          f"{rss[key]:>14.1f}")
sparse_rss = max(r[1] for r in runs["sparse"]) / 1024
sparse_size = os.path.getsize(sparse)
print(f"  quorvex-check on the sparse recording of {sparse_size} bytes: "
      f"{statistics.median(r[0] for r in runs['sparse']):.3f} s, peak RSS {sparse_rss:.1f} MiB")
vs_isal = wall["quorvex-check"] / wall["isal-stream"]
vs_rhash = wall["rhash"] / wall["quorvex-check"]
print(f"  quorvex-check / ISA-L reader: {vs_isal:.2f}; rhash / quorvex-check: {vs_rhash:.1f}")

with open(os.path.join(results, "check.json")) as f:
    check = json.load(f)[0]
with open(os.path.join(results, "sparse.json")) as f:
    sparse_check = json.load(f)[0]
codes_ok = (all(r[2] == 1 for r in runs["quorvex-check"] + runs["sparse"]) and
            all(r[2] == 0 for r in runs["isal-stream"] + runs["rhash"]))
print()
print("Targets")
for line in [
    target(ratio_1m >= 0.8 and ratio_64m >= 0.8, "best kernel >= 0.8 x ISA-L on 1 MiB and 64 MiB"),
    target(portable >= 2.0, "portable kernel >= 2 GB/s"),
    target(vs_isal <= 1.3, "whole check <= 1.3 x the ISA-L streaming reader"),
    target(vs_rhash >= 5, "whole check >= 5 x faster than rhash --crc32"),
    target(rss["quorvex-check"] < 16 and sparse_rss < 16,
           "peak RSS of quorvex-check < 16 MiB, 1 GiB and sparse recordings"),
    target(check["status"] == "damaged" and check["frames_checked"] == 30000 and
           check["frames_failed"] == 3 and sparse_check["frames_failed"] == 1 and codes_ok,
           "verdicts: 3 of 30000 frames and 1 of the sparse file's frames failed"),
    target(isal_crc.lower() == rhash_crc.lower(), "ISA-L reader and rhash agree on the file's CRC"),
]:
    print("  " + line)
sys.exit(1 if failures else 0)
