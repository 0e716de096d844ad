"""Fixtures shared by the test files: a new book and one empty sheet in it."""

import pytest

import vorlix


@pytest.fixture
def book():
    return vorlix.Book()


@pytest.fixture
def sheet(book):
    return book.add_sheet("Data")
