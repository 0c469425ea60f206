"""egm_shielding.distributed on a Dask LocalCluster of two worker processes on
the loopback address, against the local batch and route."""

import logging
import os
import signal
import threading
import time

import pytest

pytest.importorskip("distributed", reason="python3-distributed is not installed: the Dask tests are skipped")

import egm_shielding as egm  # noqa: E402
import egm_shielding.distributed as egmd  # noqa: E402
from distributed import Client, LocalCluster  # noqa: E402

pandas = pytest.importorskip("pandas")

DOUBLE_CIRCUIT = [("ground wire", 0.0, 55.0),
                  ("A1", "conductor", 6.0, 45.0, 0.0), ("B1", "conductor", 8.0, 37.0, 0.0),
                  ("C1", "conductor", 6.5, 29.0, 0.0), ("A2", "conductor", -6.0, 45.0, 0.0),
                  ("B2", "conductor", -8.0, 37.0, 0.0), ("C2", "conductor", -6.5, 29.0, 0.0)]
TWO_GROUND_WIRES = [("ground wire", 7.0, 50.0), ("ground wire", -7.0, 50.0),
                    ("conductor", 9.0, 38.0), ("conductor", -9.0, 38.0), ("conductor", 0.0, 44.0)]


def mixed_cases(n):
    """n cases: the built-in line with its inputs varied, towers of three
    layouts, and every seventh row one that cannot be computed."""
    cases = []
    for k in range(n):
        slope = (k % 61) - 30.0
        kind = k % 7
        if kind == 0:
            bad = k // 7 % 4
            case = [{"slope": 95.0}, {"tower": [("conductor", 1.0)]}, {"h1": "high"},
                    {"evaluation": "sound"}][bad]
        elif kind in (1, 2):
            case = {"slope": slope, "h1": 50.0 + k % 15}
        elif kind == 3:
            case = {"slope": slope, "evaluation": "compat", "distribution": "log-normal"}
        elif kind in (4, 5):
            case = {"tower": DOUBLE_CIRCUIT, "slope": slope / 2, "min_current": 3.0}
        else:
            case = {"tower": TWO_GROUND_WIRES, "slope": slope, "law": "love"}
        cases.append(dict(case, name=f"case {k + 1}"))
    return cases


@pytest.fixture(scope="module")
def client():
    cluster = LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                           dashboard_address=None, silence_logs=logging.CRITICAL)
    with cluster, Client(cluster) as c:
        yield c


def assert_same_frames(a, b):
    pandas.testing.assert_frame_equal(a, b, check_exact=True)


def test_a_batch_on_the_cluster_equals_the_local_batch(client):
    cases = mixed_cases(2000)
    frame = pandas.DataFrame(cases)
    local = egm.batch(frame)
    assert (local["error"] != "").sum() == 286 and local["error"][0].startswith("case 1: slope 95")
    assert_same_frames(egmd.batch(frame, client), local)
    # A list of dicts in chunks of another size: the rows of the local batch,
    # the caller's NaN an error of its row.
    cases = cases[:700]
    cases[1] = {"slope": float("nan")}
    rows = egmd.batch(cases, client, chunk=97)
    assert rows == egm.batch(cases)
    assert rows[1]["error"].startswith("case 2: slope nan")


def test_a_worker_killed_mid_run_loses_nothing(client):
    cases = pandas.DataFrame(mixed_cases(2000))
    local = egm.batch(cases)
    pids = client.run(os.getpid)
    assert len(pids) == 2
    victim = sorted(pids.values())[0]
    killed = threading.Event()

    def kill():
        time.sleep(0.8)
        os.kill(victim, signal.SIGKILL)
        killed.set()

    killer = threading.Thread(target=kill)
    killer.start()
    out = egmd.batch(cases, client, chunk=50)
    finished = killed.is_set()
    killer.join()
    assert finished, "the worker was killed only after the run"
    assert_same_frames(out, local)
    client.wait_for_workers(2, timeout=60)  # the nanny restarts it
    assert victim not in client.run(os.getpid).values()


def test_a_route_on_the_cluster_equals_the_local_route(client):
    spans = [dict(case, length=150.0 + k % 300, **({"km": 12.5} if k == 400 else {}))
             for k, case in enumerate(mixed_cases(600))]
    local = egm.route(spans, flag_above=0.5, top=5)
    remote = egmd.route(spans, client, flag_above=0.5, top=5, chunk=60)
    assert remote.spans == local.spans
    assert remote.summary == local.summary
    assert (remote.top, remote.flagged) == (local.top, local.flagged)
    assert local.summary["failed"] == 86 and local.summary["spans"] == 600
    frame = pandas.DataFrame(spans)
    assert_same_frames(egmd.route(frame, client).spans, egm.route(frame).spans)
    # Spans with critical currents: their flashover figures come back with
    # the outcomes, and the route's flashover sums, flags and top list are
    # the local route's.
    insulated = [dict(length=200.0 + k, slope=(k % 41) - 20.0,
                      **({"critical_current": 6.0 + k % 9} if k % 3 else {})) for k in range(90)]
    local = egm.route(insulated, flag_flashovers_above=0.8, top=7)
    remote = egmd.route(insulated, client, flag_flashovers_above=0.8, top=7, chunk=20)
    assert local.summary["flashoverSpans"] == 60 and local.summary["topBy"] == "flashovers"
    assert local.flagged_flashovers
    assert remote.spans == local.spans
    assert remote.summary == local.summary
    assert (remote.top, remote.flagged_flashovers) == (local.top, local.flagged_flashovers)
    # A span whose length cannot be used refuses the route before anything is sent.
    spans[3]["length"] = -500.0
    with pytest.raises(ValueError, match="span 4 \\(case 4\\) length '-500'"):
        egmd.route(spans, client)


def test_a_bad_key_raises_as_the_local_batch_does(client):
    with pytest.raises(ValueError, match="unknown input 'height'"):
        egmd.batch([{"slope": 1.0}] * 10 + [{"height": 3}], client, chunk=4)


@pytest.fixture
def ctrl_c():
    """Python's own SIGINT handler (KeyboardInterrupt), also where the tests
    were started with SIGINT ignored, as a script's background job is."""
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    yield
    signal.signal(signal.SIGINT, previous)


def test_interrupting_the_client_cancels_its_chunks(client, ctrl_c):
    cases = mixed_cases(4000)
    timer = threading.Timer(0.5, lambda: os.kill(os.getpid(), signal.SIGINT))
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        egmd.batch(cases, client, chunk=50)
    timer.join()
    assert batch_tasks_left(client) == 0
    # The cluster still computes.
    assert egmd.batch(cases[:20], client) == egm.batch(cases[:20])


def batch_tasks_left(client, within=30.0):
    """The scheduler's tasks of egm_shielding.distributed once none is left,
    or after within seconds."""
    deadline = time.monotonic() + within
    while True:
        left = client.run_on_scheduler(
            lambda dask_scheduler: sum(k.startswith("egm-batch-") for k in dask_scheduler.tasks))
        if left == 0 or time.monotonic() > deadline:
            return left
        time.sleep(0.2)


def test_an_interruption_inside_map_leaves_no_task(client, monkeypatch):
    # Ctrl-C as client.map returns: the tasks are on the scheduler, their
    # futures never reached the caller (and are kept alive here, as an
    # interrupted frame may keep them).
    kept = []
    real_map = client.map

    def interrupted_map(*args, **kwargs):
        kept.append(real_map(*args, **kwargs))
        raise KeyboardInterrupt

    monkeypatch.setattr(client, "map", interrupted_map)
    with pytest.raises(KeyboardInterrupt):
        egmd.batch(mixed_cases(2000), client, chunk=50)
    monkeypatch.undo()
    assert len(kept) == 1 and len(kept[0]) == 40
    assert batch_tasks_left(client) == 0


def test_two_runs_in_flight_on_one_client_get_their_own_rows(client):
    # Two runs of the same size and chunks, the second sent while the first
    # is still on the scheduler: each gets the rows of its own cases.
    first = mixed_cases(1200)
    second = mixed_cases(1203)[3:]
    expected = egm.batch(first), egm.batch(second)
    assert expected[0] != expected[1]
    out = {}
    thread = threading.Thread(target=lambda: out.setdefault("first", egmd.batch(first, client, chunk=50)))
    thread.start()
    deadline = time.monotonic() + 30
    while batch_tasks_left(client, within=0.0) == 0 and thread.is_alive() and time.monotonic() < deadline:
        time.sleep(0.01)
    assert thread.is_alive(), "the first run ended before the second was sent"
    out["second"] = egmd.batch(second, client, chunk=50)
    thread.join()
    assert out["first"] == expected[0]
    assert out["second"] == expected[1]
