#!/usr/bin/python3
"""Reads hyperfine's JSON for the comparison scripts and prints what they measured.

  report.py row OUT ID GOAL TITLE OURS PEER JSON...
      Puts together the runs of one comparison (one hyperfine file per round, the two
      commands in either order) into OUT/ID.json, prints its line and adds it to
      OUT/results.jsonl: min, median and max of each side and the ratio of the medians,
      ours / peer.
  report.py value OUT ID GOAL TITLE VALUE [NOTE]
      Adds a figure measured otherwise (one run) to OUT/results.jsonl and prints it.
  report.py median OUT ID
      Prints the median of our side of a comparison, in seconds.
  report.py table OUT
      Prints every line of OUT/results.jsonl as one table: the ratio, its goal and
      whether it is met.

A goal is "<=X" or "<X"; "-" for none.
"""
import json
import os
import statistics
import sys


def goal_met(goal, value):
    if goal == "-":
        return "-"
    if goal.startswith("<="):
        return "yes" if value <= float(goal[2:]) else "NO"
    if goal.startswith("<"):
        return "yes" if value < float(goal[1:]) else "NO"
    raise SystemExit("report.py: a goal is <=X or <X, not " + goal)


def verdict(goal, value):
    return "(no goal)" if goal == "-" else "(goal %s: %s)" % (goal, goal_met(goal, value))


def spread(times):
    return {"min": min(times), "median": statistics.median(times), "max": max(times), "runs": len(times)}


def seconds(s):
    return "%.3f" % s if s < 10 else "%.2f" % s


def add(out, entry):
    with open(os.path.join(out, "results.jsonl"), "a") as f:
        f.write(json.dumps(entry) + "\n")


def row(out, ident, goal, title, ours, peer, files):
    times = {ours: [], peer: []}
    rounds = []
    for path in files:
        with open(path) as f:
            results = json.load(f)["results"]
        rounds.append([r["command"] for r in results])
        for r in results:
            times[r["command"]].extend(r["times"])
    merged = {
        "id": ident,
        "title": title,
        "goal": goal,
        "rounds": rounds,  # the order the commands ran in, round by round
        "results": [dict(command=c, times=times[c], **spread(times[c])) for c in (ours, peer)],
    }
    ratio = merged["results"][0]["median"] / merged["results"][1]["median"]
    merged["ratio"] = ratio
    with open(os.path.join(out, ident + ".json"), "w") as f:
        json.dump(merged, f, indent=1)
    o, p = merged["results"]
    add(out, {"id": ident, "title": title, "goal": goal, "value": ratio, "ours": o["median"], "peer": p["median"],
              "runs": min(o["runs"], p["runs"])})
    print("%-34s ours %s %s %s s | peer %s %s %s s | ratio %.3f %s" % (
        title, seconds(o["min"]), seconds(o["median"]), seconds(o["max"]), seconds(p["min"]), seconds(p["median"]),
        seconds(p["max"]), ratio, verdict(goal, ratio)), flush=True)


def value(out, ident, goal, title, v, note):
    add(out, {"id": ident, "title": title, "goal": goal, "value": v, "note": note})
    print("%-34s %.3f %s%s" % (title, v, verdict(goal, v), " " + note if note else ""), flush=True)


def table(out):
    path = os.path.join(out, "results.jsonl")
    if not os.path.exists(path):
        print("no comparisons were run")
        return
    with open(path) as f:
        entries = [json.loads(line) for line in f if line.strip()]
    print("%-34s %9s %9s %9s %8s %4s" % ("comparison (ours / peer)", "ours s", "peer s", "ratio", "goal", "met"))
    for e in entries:
        if "ours" in e:
            ours, peer = seconds(e["ours"]), seconds(e["peer"])
        else:
            ours, peer = "", ""
        print("%-34s %9s %9s %9.3f %8s %4s%s" % (e["title"], ours, peer, e["value"], e["goal"],
                                                 goal_met(e["goal"], e["value"]),
                                                 "  " + e["note"] if e.get("note") else ""))
    met = sum(goal_met(e["goal"], e["value"]) == "yes" for e in entries)
    goals = sum(e["goal"] != "-" for e in entries)
    runs = sorted({e["runs"] for e in entries if "runs" in e})
    print("%d of %d goals met; times are hyperfine medians of %s runs a side, the two sides run in turn" % (
        met, goals, "/".join(str(r) for r in runs) or "no"))


if __name__ == "__main__":
    what, out = sys.argv[1], sys.argv[2]
    if what == "row":
        row(out, sys.argv[3], sys.argv[4], sys.argv[5], sys.argv[6], sys.argv[7], sys.argv[8:])
    elif what == "value":
        value(out, sys.argv[3], sys.argv[4], sys.argv[5], float(sys.argv[6]), sys.argv[7] if len(sys.argv) > 7 else "")
    elif what == "median":
        with open(os.path.join(out, sys.argv[3] + ".json")) as f:
            print(json.load(f)["results"][0]["median"])
    elif what == "table":
        table(out)
    else:
        raise SystemExit(__doc__)
