"""The pipelined runner: results in input order while the two stages overlap,
never more than two images alive, each side's errors reported on their item,
and a stop (Ctrl-C, or a caller leaving the loop) that cancels what is left,
lets the encode under way finish and leaves no partial file."""
import os
import signal
import threading
import time

import pytest

from pyxa.pipeline import run_pipelined


class Counted:
    """A stand-in image that counts how many exist at once."""

    live = 0
    peak = 0
    lock = threading.Lock()

    def __init__(self, item):
        self.item = item
        with Counted.lock:
            Counted.live += 1
            Counted.peak = max(Counted.peak, Counted.live)

    def __del__(self):
        with Counted.lock:
            Counted.live -= 1


@pytest.fixture(autouse=True)
def fresh_counts():
    Counted.live = Counted.peak = 0
    yield


def slow_encode(delays):
    def encode(item, image):
        time.sleep(delays.get(item, 0.0))
        assert image.item == item
        return f"encoded {item}"
    return encode


@pytest.mark.parametrize("develop_delay,encode_delays,peak", [
    (0.0, {0: 0.05, 3: 0.05}, 2),   # the encoder is the slow side: two images wait
    (0.01, {}, 1),                  # the development is: each image is gone before the next
])
def test_results_come_in_input_order_with_two_images_alive_at_most(develop_delay, encode_delays, peak):
    def develop(item):
        time.sleep(develop_delay)
        return Counted(item)
    results = list(run_pipelined(range(8), develop, slow_encode(encode_delays)))
    assert [(r.index, r.item, r.value, r.ok) for r in results] == [(i, i, f"encoded {i}", True) for i in range(8)]
    assert Counted.peak <= 2 and Counted.live == 0
    if peak == 2:
        assert Counted.peak == 2


def test_stages_overlap():
    """Each development after the first runs while the previous image is being
    encoded (a runner that encoded only between developments would never
    encode while one waits here)."""
    encoding = threading.Event()
    overlapped = []

    def develop(item):
        overlapped.append(item == 0 or encoding.wait(timeout=2.0))
        return Counted(item)

    def encode(item, image):
        encoding.set()
        time.sleep(0.05)
        encoding.clear()
        return item
    assert [r.value for r in run_pipelined(range(4), develop, encode)] == [0, 1, 2, 3]
    assert overlapped == [True] * 4


@pytest.mark.parametrize("in_flight", [1, 3])
def test_in_flight_bounds_live_images(in_flight):
    results = list(run_pipelined(range(10), Counted, slow_encode({i: 0.01 for i in range(10)}), in_flight=in_flight))
    assert len(results) == 10 and Counted.peak == in_flight


def test_two_encoders_overlap_and_keep_the_order():
    """Item 0 encodes slowly: the second encoder takes item 1 meanwhile, which
    finishes first and is still given after 0; two images at most."""
    log = []

    def encode(item, image):
        log.append(("start", item))
        time.sleep(0.3 if item == 0 else 0.01)
        log.append(("end", item))
        return item
    results = list(run_pipelined(range(4), Counted, encode, encoders=2))
    assert [(r.index, r.value) for r in results] == [(i, i) for i in range(4)]
    assert log.index(("end", 1)) < log.index(("end", 0))
    assert Counted.peak == 2 and Counted.live == 0


def test_errors_land_on_their_item_in_order():
    def develop(item):
        if item == 1:
            raise ValueError("cannot read 1")
        return Counted(item)

    def encode(item, image):
        if item == 3:
            raise OSError("disk full at 3")
        time.sleep(0.01)
        return item
    results = list(run_pipelined(range(5), develop, encode))
    assert [(r.item, r.ok, r.stage, repr(r.error) if r.error else r.value) for r in results] == [
        (0, True, None, 0),
        (1, False, "develop", "ValueError('cannot read 1')"),
        (2, True, None, 2),
        (3, False, "encode", "OSError('disk full at 3')"),
        (4, True, None, 4),
    ]
    assert Counted.live == 0


def writing_encoder(folder, delay, log, started=None):
    """Writes each image as a file: a partial name first, renamed once whole;
    `started` is called with the item as its encode begins."""
    def encode(item, image):
        log.append(("start", item))
        if started is not None:
            started(item)
        part = folder / f"{item}.part"
        part.write_text("half")
        time.sleep(delay)
        part.write_text("whole")
        part.rename(folder / f"{item}.txt")
        log.append(("end", item))
        return item
    return encode


def test_interrupt_in_development_lets_the_encode_finish(tmp_path):
    """Ctrl-C while file 2 is developed: file 1, being encoded, is finished
    whole; nothing after it is started; the interrupt reaches the caller."""
    log, seen = [], []
    encoding_1 = threading.Event()

    def develop(item):
        if item == 2:
            assert encoding_1.wait(timeout=5.0)  # Ctrl-C comes while file 1 is being encoded
            raise KeyboardInterrupt
        return Counted(item)
    encoder = writing_encoder(tmp_path, 0.1, log, started=lambda item: item == 1 and encoding_1.set())
    with pytest.raises(KeyboardInterrupt):
        for r in run_pipelined(range(6), develop, encoder):
            seen.append(r.item)
    assert sorted(p.name for p in tmp_path.iterdir()) == ["0.txt", "1.txt"]
    assert all(p.read_text() == "whole" for p in tmp_path.iterdir())
    assert log == [("start", 0), ("end", 0), ("start", 1), ("end", 1)]
    assert threading.active_count() == 1 or not any(t.name == "pyxa-encoder" for t in threading.enumerate())


def test_signal_while_waiting_for_a_result(tmp_path):
    """A real SIGINT while the caller waits on a slow encode stops the run
    without cutting that encode off and without starting the queued one."""
    log, timers = [], []
    sent = threading.Event()

    def send():
        signal.pthread_kill(threading.main_thread().ident, signal.SIGINT)
        sent.set()

    def interrupt_soon(item):
        # Sent once file 0 is being encoded, while the caller waits for its
        # result. The encode goes on only once the signal is sent: on a busy
        # machine the timer's thread may otherwise wake after the whole run.
        if item == 0:
            timers.append(threading.Timer(0.1, send))
            timers[0].start()
            assert sent.wait(timeout=30)
    try:
        with pytest.raises(KeyboardInterrupt):
            list(run_pipelined(range(5), Counted, writing_encoder(tmp_path, 0.4, log, started=interrupt_soon)))
    finally:
        for t in timers:
            t.cancel()
    assert sorted(p.name for p in tmp_path.iterdir()) == ["0.txt"]
    assert log == [("start", 0), ("end", 0)]
    assert not any(t.name == "pyxa-encoder" for t in threading.enumerate())


def test_leaving_the_loop_early_cancels_the_rest(tmp_path):
    log = []
    results = run_pipelined(range(6), Counted, writing_encoder(tmp_path, 0.02, log))
    for r in results:
        if r.item == 1:
            break
    results.close()
    done = [p.name for p in tmp_path.iterdir()]
    assert all(name.endswith(".txt") for name in done) and len(done) <= 3
    assert ("start", 5) not in log and not any(t.name == "pyxa-encoder" for t in threading.enumerate())


@pytest.mark.parametrize("name, unit", [("in_flight", "images"), ("encoders", "threads")])
@pytest.mark.parametrize("value", [0, -1, 1.5, True])
def test_refuses_counts_below_one(name, unit, value):
    with pytest.raises(ValueError) as refused:
        run_pipelined([], Counted, slow_encode({}), **{name: value})
    assert str(refused.value) == f"{name} must be a whole number of {unit}, at least 1, got {value!r}"


def test_nothing_runs_before_the_first_result_is_asked_for():
    started = []
    results = run_pipelined(range(3), lambda i: started.append(i) or Counted(i), slow_encode({}))
    assert started == [] and not any(t.name == "pyxa-encoder" for t in threading.enumerate())
    assert [r.item for r in results] == [0, 1, 2]


pytestmark = pytest.mark.skipif(os.name != "posix", reason="signals are sent with pthread_kill")


def test_each_thread_collects_only_its_own_warnings():
    # A batch's development thread and its encoder threads collect warnings
    # at once. Here B starts after A and leaves first, while A goes on
    # warning: every warning must land in its own thread's list, A's repeat
    # too (the process-wide catch_warnings gave B's to A and put back a
    # filter that swallowed A's repeat), and a thread that collects nothing
    # keeps its warnings where they went before.
    import warnings

    from pyxa._thread_warnings import thread_warnings

    steps = [threading.Event() for _ in range(4)]
    lists = {}

    def warn(text):
        warnings.warn(text, UserWarning)

    def a():
        with thread_warnings() as caught:
            steps[0].set()
            steps[1].wait(5)
            warn("a")
            steps[2].set()
            steps[3].wait(5)
            warn("a")
        lists["a"] = [str(w.message) for w in caught]

    def b():
        steps[0].wait(5)
        with thread_warnings() as caught:
            steps[1].set()
            steps[2].wait(5)
            warn("b")
            threading.Thread(target=warn, args=("elsewhere",)).run()  # this thread, so collected
            other = threading.Thread(target=warn, args=("other thread",))
            other.start()
            other.join()
        lists["b"] = [str(w.message) for w in caught]
        steps[3].set()

    filters = warnings.filters
    with warnings.catch_warnings(record=True) as outside:
        warnings.simplefilter("always")
        handler = warnings.showwarning
        threads = [threading.Thread(target=a), threading.Thread(target=b)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        restored = warnings.showwarning
    assert lists == {"a": ["a", "a"], "b": ["b", "elsewhere"]}
    assert [str(w.message) for w in outside] == ["other thread"]
    assert restored is handler and warnings.filters is filters
