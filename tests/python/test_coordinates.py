"""column_number_to_letter and get_letter_coordinate."""

from __future__ import annotations

import itertools
import string

import pytest

import vorlix

OUT_OF_RANGE = "out of range integral type conversion attempted"


@pytest.mark.parametrize(
    "col, letters",
    [(0, ""), (1, "A"), (2, "B"), (26, "Z"), (27, "AA"), (52, "AZ"), (53, "BA"), (702, "ZZ"), (703, "AAA"),
     (16384, "XFD"), (18278, "ZZZ"), (18279, "AAAA"), (65535, "CRXO")],
)
def test_column_number_to_letter(col, letters):
    assert vorlix.column_number_to_letter(col) == letters
    assert vorlix.column_number_to_letter(col=col) == letters


def test_every_column_gets_the_next_name_in_length_then_alphabetical_order():
    names = (
        "".join(p) for n in range(1, 5) for p in itertools.product(string.ascii_uppercase, repeat=n)
    )
    expected = list(itertools.islice(names, 65535))
    assert [vorlix.column_number_to_letter(c) for c in range(1, 65536)] == expected


@pytest.mark.parametrize(
    "row, col, text",
    [(7, 2, "B7"), (1, 27, "AA1"), (5, 0, "5"), (0, 1, "A0"), (0, 0, "0"), (1000000, 16384, "XFD1000000"),
     (4294967295, 65535, "CRXO4294967295")],
)
def test_get_letter_coordinate(row, col, text):
    assert vorlix.get_letter_coordinate(row, col) == text
    assert vorlix.get_letter_coordinate(col=col, row=row) == text


@pytest.mark.parametrize(
    "call, exc_type, message",
    [
        (lambda: vorlix.column_number_to_letter(65536), OverflowError, OUT_OF_RANGE),
        (lambda: vorlix.column_number_to_letter(-1), OverflowError, OUT_OF_RANGE),
        (lambda: vorlix.get_letter_coordinate(1, 65536), OverflowError, OUT_OF_RANGE),
        (lambda: vorlix.get_letter_coordinate(4294967296, 1), OverflowError, OUT_OF_RANGE),
        (lambda: vorlix.get_letter_coordinate(-1, 1), OverflowError, "can't convert negative int to unsigned"),
        (lambda: vorlix.column_number_to_letter("A"), TypeError,
         "argument 'col': 'str' object cannot be interpreted as an integer"),
        (lambda: vorlix.get_letter_coordinate(1, 2.0), TypeError,
         "argument 'col': 'float' object cannot be interpreted as an integer"),
        (lambda: vorlix.get_letter_coordinate(None, 1), TypeError,
         "argument 'row': 'NoneType' object cannot be interpreted as an integer"),
        (lambda: vorlix.column_number_to_letter(3, col=3), TypeError,
         "column_number_to_letter() got multiple values for argument 'col'"),
        (lambda: vorlix.get_letter_coordinate(1, row=1), TypeError,
         "get_letter_coordinate() got multiple values for argument 'row'"),
        (lambda: vorlix.column_number_to_letter(column=3), TypeError,
         "column_number_to_letter() got an unexpected keyword argument 'column'"),
        (lambda: vorlix.get_letter_coordinate(1), TypeError,
         "get_letter_coordinate() missing 1 required positional argument: 'col'"),
        (lambda: vorlix.get_letter_coordinate(1, 2, 3), TypeError,
         "get_letter_coordinate() takes 2 positional arguments but 3 were given"),
    ],
)
def test_refusals(call, exc_type, message):
    with pytest.raises(exc_type) as info:
        call()
    assert type(info.value) is exc_type and str(info.value) == message
