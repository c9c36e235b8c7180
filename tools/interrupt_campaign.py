#!/usr/bin/env python3
"""Interrupts at random times against batch reductions, and what they leave.

Each trial reduces three simulated data sets with --decay-correct --cif
--json in one batch (or, every other trial, one data set with --report and
--plots as well: the report names one file), each of whose outputs already
holds an earlier file, and stops it at a random moment with SIGINT,
SIGTERM, SIGHUP, or by closing the pipe its standard output goes to (what a
`| head` does; the program ignores SIGPIPE and stops on the write error).
It then checks:
  - every final name holds the earlier file or a complete one (the
    intensity files byte for byte those of an uninterrupted run, the report
    page and the CIF whole);
  - the JSON summary (or, for a stop before the batch began, the earlier
    one) says what happened: its status is the exit status, a data set
    marked complete has its complete outputs, an unfinished one names its
    NAME.partial or holds the earlier file;
  - the exit status matches the stop: 130 SIGINT, 143 SIGTERM and SIGHUP,
    141 standard output closed (0 when the batch ended before the stop).

usage: tools/interrupt_campaign.py BUILD_DIR [TRIALS] [SEED]
Prints one line per failure and a summary; exit 0 when no trial failed.
"""
import json
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

EARLIER = "EARLIER FILE, MUST SURVIVE AN UNFINISHED RUN\n"
NAMES = ["a", "b", "c"]


def simulate(sim, work):
    for n, seed in zip(NAMES, (11, 12, 13)):
        subprocess.run([sim, "--format", "cad4", "--out", os.path.join(work, n), "--nrefl", "1500", "--nstd", "3",
                        "--std-interval", "25", "--decay", "0.1", "--seed", str(seed)], check=True,
                       stdout=subprocess.DEVNULL)


def outputs(report):
    files = [n + ".hkl" for n in NAMES] + [n + "_tarnivox.cif" for n in NAMES]
    if report:
        files = ["a.hkl", "a_tarnivox.cif", "r.html"]
    return files


def command(prog, report):
    if report:
        return [prog, "reduce", "a.dat", "--format", "cad4", "--par", "a.par", "--decay-correct", "--cif",
                "--report", "r.html", "--plots", "plots", "--json", "s.json"]
    return [prog, "reduce"] + [n + ".dat" for n in NAMES] + ["--format", "cad4", "--par", "a.par",
                                                           "--decay-correct", "--cif", "--json", "s.json"]


def prepare(src, work, report):
    if os.path.exists(work):
        shutil.rmtree(work)
    shutil.copytree(src, work)
    for f in outputs(report):
        with open(os.path.join(work, f), "w") as fh:
            fh.write(EARLIER)
    with open(os.path.join(work, "s.json"), "w") as fh:
        fh.write('{"earlier": true}\n')


def read(path):
    try:
        with open(path, "rb") as fh:
            return fh.read()
    except OSError:
        return None


def whole(name, content):
    if name.endswith(".html"):
        return content.rstrip().endswith(b"</html>")
    if name.endswith(".cif"):
        return b"_diffrn_standards_decay_%" in content or b"_cell_measurement" in content or len(content) > 200
    return False


def check(work, report, reference, status, expected, trial):
    faults = []
    final = {f: read(os.path.join(work, f)) for f in outputs(report)}
    for f, content in final.items():
        if content is None:
            faults.append(f"{f} is missing")
        elif content == EARLIER.encode():
            pass
        elif f.endswith(".hkl") and content != reference[f]:
            faults.append(f"{f} is neither the earlier file nor the complete one")
        elif not f.endswith(".hkl") and not whole(f, content):
            faults.append(f"{f} is neither the earlier file nor a whole one")
    summary = read(os.path.join(work, "s.json"))
    try:
        j = json.loads(summary)
    except (TypeError, ValueError):
        return faults + ["s.json is no JSON"]
    if j.get("earlier"):
        # Stopped before the batch began: nothing may have changed.
        if status != expected["killed"]:
            faults.append(f"earlier summary kept but exit status {status}")
        for f, content in final.items():
            if content != EARLIER.encode():
                faults.append(f"{f} changed although the batch never began")
        return faults
    if j["status"] != status:
        faults.append(f"JSON status {j['status']} but exit status {status}")
    if status not in (0, expected["stopped"]) and not any(r["status"] == 1 for r in j["runs"]):
        faults.append(f"exit status {status}, expected 0 or {expected['stopped']}")
    if status != 0 and "stopped_by" not in j:
        faults.append("a stopped batch does not say what stopped it")
    for r in j["runs"]:
        name = os.path.basename(r["input"]).split(".")[0]
        hkl = name + ".hkl"
        given = r["outputs"]["intensities"]
        if r["complete"]:
            if final[hkl] != reference[hkl]:
                faults.append(f"{name} complete but {hkl} is not the complete file")
            if r.get("decay_correction") is None:
                faults.append(f"{name} complete without its decay correction")
            cif = name + "_tarnivox.cif"
            if final.get(cif) == EARLIER.encode():
                faults.append(f"{name} complete but its CIF is the earlier one")
        else:
            if given.endswith(".partial"):
                if final[hkl] != EARLIER.encode():
                    faults.append(f"{name} unfinished but {hkl} was replaced")
                if not os.path.exists(given):
                    faults.append(f"{name} names {given}, which does not exist")
            elif final[hkl] not in (EARLIER.encode(), reference[hkl]):
                faults.append(f"{name} unfinished and {hkl} neither earlier nor complete")
    done = {os.path.basename(r["input"]).split(".")[0] for r in j["runs"]}
    for n in (NAMES if not report else ["a"]):
        if n not in done and final[n + ".hkl"] != EARLIER.encode():
            faults.append(f"{n} never ran but {n}.hkl changed")
    return faults


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    trials = int(sys.argv[2]) if len(sys.argv) > 2 else 100
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 1)
    prog = os.path.abspath(os.path.join(build, "tarnivox"))
    sim = os.path.abspath(os.path.join(build, "tarnivox-simulate"))
    root = tempfile.mkdtemp(prefix="tarnivox_interrupts_")
    src = os.path.join(root, "src")
    os.makedirs(src)
    simulate(sim, src)
    # The complete files of an uninterrupted run, and how long it takes.
    reference, length = {}, {}
    for report in (False, True):
        work = os.path.join(root, "reference")
        prepare(src, work, report)
        t0 = time.monotonic()
        r = subprocess.run(command(prog, report), cwd=work, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        length[report] = time.monotonic() - t0
        if r.returncode != 0:
            print(f"the uninterrupted run ended with {r.returncode}")
            return 1
        for f in outputs(report):
            reference[f] = read(os.path.join(work, f))
    kinds = ["SIGINT", "SIGTERM", "SIGHUP", "SIGPIPE"]
    tally, failures = {}, 0
    for trial in range(trials):
        report = trial % 2 == 1
        kind = kinds[(trial // 2) % 4]
        work = os.path.join(root, "trial")
        prepare(src, work, report)
        delay = rng.uniform(0.0, length[report] * 1.05)
        p = subprocess.Popen(command(prog, report), cwd=work, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        time.sleep(delay)
        if kind == "SIGPIPE":
            p.stdout.close()
        else:
            try:
                p.send_signal(getattr(signal, kind))
            except ProcessLookupError:
                pass
            p.stdout.read()
        raw = p.wait()
        status = raw if raw >= 0 else 128 - raw
        signo = getattr(signal, kind)
        expected = {"SIGINT": 130, "SIGTERM": 143, "SIGHUP": 143, "SIGPIPE": 141}[kind]
        faults = check(work, report, reference, status, {"stopped": expected, "killed": 128 + signo}, trial)
        outcome = "completed" if status == 0 else f"status {status}"
        tally[(kind, outcome)] = tally.get((kind, outcome), 0) + 1
        if faults:
            failures += 1
            print(f"trial {trial} ({kind} at {delay:.3f} s, {'report' if report else 'batch of three'}, "
                  f"status {status}): " + "; ".join(faults))
    shutil.rmtree(root, ignore_errors=True)
    print(f"{trials} trials (uninterrupted: {length[False]:.2f} s batch of three, {length[True]:.2f} s with report); "
          f"{failures} failed")
    for (kind, outcome), n in sorted(tally.items()):
        print(f"  {kind:8s} {outcome:12s} {n}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
