"""pyxa.resize: reductions against block means and area weights written here,
enlargements against a Lanczos-4 reference, the sizes it makes, the image
returned untouched when its size stays, and every refusal."""
import math

import numpy as np
import pytest

pytest.importorskip("cv2")

from pyxa.resize import resize, resized_shape  # noqa: E402

RNG = np.random.default_rng(5)
TOP = {"uint8": 255, "uint16": 65535, "float32": 1.0}


def image(shape, dtype):
    if dtype == "float32":
        return RNG.random(shape, dtype=np.float32)
    return RNG.integers(0, TOP[dtype] + 1, shape).astype(dtype)


@pytest.mark.parametrize("dtype", ["uint8", "uint16", "float32"])
@pytest.mark.parametrize("shape,kwargs,factor", [((40, 60, 3), dict(scale=0.5), 2),
                                                 ((36, 27, 3), dict(max_size=12), 3),
                                                 ((24, 64, 3), dict(max_size=16), 4)])
def test_exact_reduction_is_the_block_mean(dtype, shape, kwargs, factor):
    img = image(shape, dtype)
    h, w = shape[0] // factor, shape[1] // factor
    blocks = img.astype(np.float64).reshape(h, factor, w, factor, 3)
    if dtype == "float32":
        got = resize(img, **kwargs)
        np.testing.assert_allclose(got, blocks.mean(axis=(1, 3)), rtol=0, atol=2e-7)
    else:
        # The nearest integer to the mean (OpenCV's paths break ties differently).
        assert np.abs(resize(img, **kwargs) - blocks.mean(axis=(1, 3))).max() <= 0.5
    assert resize(img, **kwargs).dtype == img.dtype


def area_weights(n_in, n_out):
    """Row i averages the input interval [i * s, (i + 1) * s), s = n_in / n_out,
    each input sample weighted by how much of it lies inside."""
    s = n_in / n_out
    weights = np.zeros((n_out, n_in))
    for i in range(n_out):
        for j in range(n_in):
            weights[i, j] = max(0.0, min((i + 1) * s, j + 1) - max(i * s, j))
    return weights / s


def lanczos_weights(n_in, n_out, a=4):
    """Output sample i centred on input position (i + 0.5) * n_in / n_out - 0.5,
    2a taps of the Lanczos kernel normalised to sum 1, edges repeated."""
    s = n_in / n_out
    weights = np.zeros((n_out, n_in))
    for i in range(n_out):
        x = (i + 0.5) * s - 0.5
        taps = np.arange(math.floor(x) - a + 1, math.floor(x) + a + 1)
        t = x - taps
        k = np.sinc(t) * np.sinc(t / a)  # a sin(pi t) sin(pi t / a) / (pi t)^2, 1 at t = 0
        for j, wgt in zip(taps, k / k.sum()):
            weights[i, min(max(j, 0), n_in - 1)] += wgt
    return weights


def separable(img, rows, cols):
    return np.einsum("ij,jkc,lk->ilc", rows, img.astype(np.float64), cols)


def test_fractional_reduction_averages_the_covered_area():
    img = image((17, 23, 3), "float32")
    got = resize(img, max_size=10)
    assert got.shape == (7, 10, 3)
    np.testing.assert_allclose(got, separable(img, area_weights(17, 7), area_weights(23, 10)), rtol=0, atol=1e-6)


def test_enlargement_is_lanczos4():
    img = image((20, 30, 3), "float32")
    got = resize(img, scale=2.5)
    assert got.shape == (50, 75, 3)
    np.testing.assert_allclose(got, separable(img, lanczos_weights(20, 50), lanczos_weights(30, 75)), rtol=0,
                               atol=1e-5)


@pytest.mark.parametrize("dtype", ["uint8", "uint16"])
def test_enlargement_saturates_integer_ringing(dtype):
    """Lanczos overshoots at a hard edge: integers clip at their range, never wrap around."""
    img = np.zeros((8, 8, 3), dtype)
    img[:, 4:] = TOP[dtype]
    got = resize(img, scale=3)
    assert got[:, 15:].min() > TOP[dtype] // 2 and got[:, :9].max() < TOP[dtype] // 2
    assert got.max() == TOP[dtype] and got.min() == 0


@pytest.mark.parametrize("size,kwargs,want", [
    ((4000, 6000), dict(max_size=2048), (1365, 2048)),
    ((6000, 4000), dict(max_size=2048), (2048, 1365)),
    ((1000, 3), dict(max_size=10), (10, 1)),
    ((3, 3), dict(max_size=2), (2, 2)),
    ((101, 7), dict(scale=0.5), (50, 4)),
    ((5, 5), dict(scale=0.01), (1, 1)),
    ((3, 5), dict(scale=2.5), (8, 12)),
])
def test_resized_shape(size, kwargs, want):
    assert resized_shape(*size, **kwargs) == want


@pytest.mark.parametrize("kwargs", [dict(max_size=40), dict(max_size=np.int64(30)), dict(scale=1.0),
                                    dict(scale=1.01)])
def test_unchanged_size_returns_the_image_itself(kwargs):
    img = image((30, 20, 3), "uint16")[::-1]  # a strided view stays the same view
    assert resize(img, **kwargs) is img


@pytest.mark.parametrize("kwargs,error,message", [
    (dict(), ValueError, "give either max_size (the long edge in pixels) or scale (a factor), not neither"),
    (dict(max_size=10, scale=0.5), ValueError,
     "give either max_size (the long edge in pixels) or scale (a factor), not both"),
    (dict(max_size=0), ValueError, "max_size must be at least 1 pixel, got 0"),
    (dict(max_size=-3), ValueError, "max_size must be at least 1 pixel, got -3"),
    (dict(max_size=10.5), TypeError, "max_size must be a whole number of pixels, got 10.5"),
    (dict(max_size=True), TypeError, "max_size must be a whole number of pixels, got True"),
    (dict(scale=0), ValueError, "scale must be a finite number above 0, got 0"),
    (dict(scale=-0.5), ValueError, "scale must be a finite number above 0, got -0.5"),
    (dict(scale=float("nan")), ValueError, "scale must be a finite number above 0, got nan"),
    (dict(scale=float("inf")), ValueError, "scale must be a finite number above 0, got inf"),
    (dict(scale="2"), TypeError, "scale must be a number, got '2'"),
    (dict(scale=5000), ValueError, "scale 5000 makes 8 x 8 into 40000 x 40000; resize makes at most 1024 Mpx"),
])
def test_refuses_sizes(kwargs, error, message):
    with pytest.raises(error) as refused:
        resize(image((8, 8, 3), "uint8"), **kwargs)
    assert str(refused.value) == message


@pytest.mark.parametrize("img,message", [
    (np.zeros((8, 8), np.uint8), "resize takes a non-empty (height, width, 3) array, got (8, 8)"),
    (np.zeros((8, 8, 4), np.uint8), "resize takes a non-empty (height, width, 3) array, got (8, 8, 4)"),
    (np.zeros((0, 8, 3), np.uint8), "resize takes a non-empty (height, width, 3) array, got (0, 8, 3)"),
    ([[0, 0, 0]], "resize takes a non-empty (height, width, 3) array, got list"),
    (np.zeros((8, 8, 3), np.float64), "resize takes uint8, uint16 or float32 samples, got float64; convert "
                                      "first, e.g. image.astype(np.float32)"),
])
def test_refuses_images(img, message):
    with pytest.raises(ValueError) as refused:
        resize(img, scale=0.5)
    assert str(refused.value) == message
