"""Batches and routes on a Dask cluster: egm_shielding's batch and route with
their cases computed on the cluster's workers.

    from dask.distributed import Client
    import egm_shielding.distributed as egmd
    out = egmd.batch(cases, Client("tcp://scheduler:8786"))

Any dask.distributed Client works: one of a LocalCluster, or of a scheduler
with workers on other machines (each worker needs egm_shielding installed,
of the same version). The cases are split into chunks of consecutive rows;
each chunk is one task, computed on a worker by the same GIL-free batch as
egm_shielding.batch, one thread per task (Dask runs as many tasks at once as
a worker has threads). The result is egm_shielding.batch's, in the input's
order, every row with its own error.

A worker that dies loses nothing: its chunks are computed again elsewhere,
and the result is the same. Interrupting the call (Ctrl-C) cancels every
chunk not yet gathered.
"""

try:
    import distributed as _dask_distributed  # noqa: F401  (Dask's, not this module)
except ImportError as e:
    raise ImportError("egm_shielding.distributed needs Dask's distributed scheduler: "
                      "install python3-distributed (Debian) or the distributed package") from e

import uuid

from distributed import Future, as_completed

from . import _batch_rows, _core, _records, _route_of, _table

__all__ = ["batch", "route", "CHUNK"]

# Cases per task. One case takes some 2 ms of one core, so a chunk of 250 is
# about half a second of work: the scheduler's few milliseconds per task and
# the transfer of the chunk's rows then cost about 1%, while 2,000 cases still
# make 8 tasks to share among workers, and a lost worker's chunks are quickly
# computed again. Much smaller chunks pay the per-task cost more often; much
# larger ones leave workers idle at the end of the run.
CHUNK = 250


def _chunk(records, first, frame):
    """One task: the batch rows of records, numbered from first."""
    return _batch_rows(records, 1, first, frame)


def _span_chunk(records, first, frame, rate_method):
    """One task of a route: the outcomes of consecutive spans' records
    (first is the chunk's place, for its key)."""
    return _core.span_outcomes(records, frame, rate_method, 1)


def _rows(records, frame, client, chunk, task=_chunk, progress=None, **extra):
    """What task gives for every record, in order (batch rows, by default),
    computed on client's workers in chunks; progress, when given, is called
    with each chunk's number of records as the chunk completes."""
    chunk = int(chunk)
    if chunk < 1:
        raise ValueError(f"chunk {chunk}: must be 1 case or more")
    starts = range(0, len(records), chunk)
    # Keys name the run and the first case of each chunk: two runs in flight
    # on one client never share a task, so never each other's rows.
    run = uuid.uuid4().hex
    keys = [f"egm-batch-{run}-{s + 1}" for s in starts]
    futures = None
    try:
        futures = client.map(task, [records[s:s + chunk] for s in starts], [s + 1 for s in starts],
                             frame=frame, **extra, key=keys, pure=False)
        if progress is not None:
            sizes = {f.key: min(chunk, len(records) - s) for f, s in zip(futures, starts)}
            for done in as_completed(futures):
                progress(sizes[done.key])
        parts = client.gather(futures)
    except BaseException:
        # Interrupted, or a chunk raised (a key that names no input): nothing
        # is left computing for this call. An interruption inside map may
        # come after the tasks were sent and before their futures were
        # returned: they are then cancelled by their keys.
        client.cancel(futures if futures is not None else [Future(k, client, inform=False) for k in keys])
        raise
    return [row for part in parts for row in part]


def batch(cases, client, chunk=CHUNK):
    """egm_shielding.batch on a Dask cluster.

    Args:
      cases: a sequence of dicts, or a pandas DataFrame, with the keys and
        columns of egm_shielding.batch (towers, sag and rate_method
        included).
      client: a dask.distributed.Client.
      chunk: cases per task (CHUNK, 250: about half a second of one core).

    Returns what egm_shielding.batch returns for the same cases, to the last
    bit: one dict per case (a DataFrame for a DataFrame), in order, each
    with its own error. Raises ValueError for a key that names no input.
    """
    records, frame = _records(cases)
    return _table(_rows(records, frame, client, chunk), frame)


def route(spans, client, flag_above=None, top=10, chunk=CHUNK, rate_method=None, flag_flashovers_above=None):
    """egm_shielding.route on a Dask cluster: the route planned here, the
    spans' cases computed on client's workers in chunks (as batch), and
    the route assembled here from their outcomes by the same code as
    egm_shielding.route. Returns what egm_shielding.route returns for the
    same spans, rate_method and flags (flashover figures included: each
    outcome comes back with its critical currents and flashover rates);
    raises ValueError, as egm_shielding.route does, before anything is
    sent."""
    records, frame = _records(spans)
    plan = _core.route_plan(records, frame, rate_method)
    outcomes = _rows(records, frame, client, chunk, task=_span_chunk, rate_method=rate_method)
    return _route_of(_core.route_assemble(plan, outcomes, flag_above, top, records, frame,
                                          flag_flashovers_above), frame)
