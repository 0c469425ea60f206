"""The speed of egm_shielding.distributed.batch on a LocalCluster of two
worker processes against egm_shielding.batch on the same machine, side by
side in one run:

    PYTHONPATH=build/default/python python3 python/bench/distributed_speed.py [CASES]

The cases are the built-in line with the slope from -30 to 30 degrees and the
ground wires' height from 50 to 64 m. Prints each run's time and the ratio
of the medians.
"""

import logging
import statistics
import sys
import time

import pandas
from distributed import Client, LocalCluster

import egm_shielding as egm
import egm_shielding.distributed as egmd


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 20000
    frame = pandas.DataFrame({"slope": [(k % 61) - 30.0 for k in range(n)],
                              "ground-wire-height": [50.0 + k % 15 for k in range(n)]})
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                      dashboard_address=None, silence_logs=logging.CRITICAL) as cluster, \
            Client(cluster) as client:
        egmd.batch(frame[:100], client)  # the workers import the module once
        times = {"local": [], "cluster": []}
        for _ in range(3):
            for what in ("local", "cluster"):
                started = time.perf_counter()
                out = egm.batch(frame) if what == "local" else egmd.batch(frame, client)
                times[what].append(time.perf_counter() - started)
                assert (out["error"] == "").all()
                print(f"{what:8} {n} cases: {times[what][-1]:.2f} s", flush=True)
    local, remote = statistics.median(times["local"]), statistics.median(times["cluster"])
    print(f"medians: local {local:.2f} s, cluster {remote:.2f} s, ratio {remote / local:.2f}")


if __name__ == "__main__":
    main()
