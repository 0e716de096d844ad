"""Service: the base class of services written in Python."""

from __future__ import annotations

import gc
import json
import weakref

import pytest

import vorlix


class MyService(vorlix.Service):
    def summary_0(self, sheets, /, **kwargs):
        return ("summary", len(sheets), kwargs)

    def _fmt_0(self, **kwargs):
        return ("fmt", kwargs)

    def base_summary(self, *args, **kwargs):
        return super().summary_0(*args, **kwargs)

    def base_fmt(self, *args, **kwargs):
        return super()._fmt_0(*args, **kwargs)


class PlainService(vorlix.Service):
    pass


class Connection:
    pass


@pytest.mark.parametrize("conn", [None, Connection(), 42, "dsn", [1, 2]], ids=repr)
def test_conn_db_is_the_object_passed(conn):
    assert vorlix.Service(conn)._conn_db is conn
    assert MyService(conn_db=conn)._conn_db is conn


def test_new_service():
    service = vorlix.Service(None)
    assert service._sheets == []
    assert service.to_json() == '{"sheets":[]}'
    assert service.to_dict() == {"sheets": []}
    assert repr(service) == "Service, sheets: 0"
    assert repr(MyService(None)) == "MyService, sheets: 0"
    assert service._get_sheet_index(0) is None
    assert service._get_sheet_name("S") is None


def test_book_operations():
    service = MyService(None)
    sheet = service._add_sheet("S")
    service._add_sheet(name="H", sheet_state="hidden")
    sheet.cell(1, 1, "v")
    assert service._get_sheet_name("S").cell(1, 1).value == "v"
    assert service._get_sheet_index(0).name == "S"
    assert service._get_sheet_index(-1) is None
    assert [(s.name, s.sheet_state) for s in service._sheets] == [("S", "visible"), ("H", "hidden")]
    assert repr(service) == "MyService, sheets: 2"
    copy = service._copy_sheet(sheet)
    assert copy.name == "Sheet 3"
    doc = json.loads(service.to_json())
    assert doc == service.to_dict()
    assert [s["name"] for s in doc["sheets"]] == ["S", "H", "Sheet 3"]
    assert doc["sheets"][2]["cells"] == doc["sheets"][0]["cells"]


def test_two_services_are_independent_and_copies_share_cells():
    first, second = vorlix.Service(None), PlainService(None)
    source = first._add_sheet("S")
    source.cell(1, 1, "x")
    source.add_comment(1, 1, "note", "me")
    assert second._sheets == []
    copy = second._copy_sheet(source)
    assert copy.name == "Sheet 1"
    assert [s.name for s in first._sheets] == ["S"]
    copy.cell(1, 1).value = "shared"
    copy.comments[0].author = "you"
    assert source.cell(1, 1).value == "shared"
    assert first.to_dict()["sheets"][0]["comments"][0]["author"] == "you"
    copy.cell(2, 2, "only in copy")
    assert len(source.cells) == 1
    # a service's sheet can also go into a plain book
    assert vorlix.Book().copy_sheet(copy).name == "Sheet 1"


def test_subclass_overrides_and_base_implementations():
    service = MyService(None)
    assert service.summary_0([], k=1) == ("summary", 0, {"k": 1})
    assert service._fmt_0(a=1) == ("fmt", {"a": 1})
    for call, message in (
        (lambda: service.base_summary([]), "Method 'summary_0' is not implemented"),
        (lambda: service.base_summary([1], sheets=2, other=3), "Method 'summary_0' is not implemented"),
        (lambda: service.base_fmt(), "Method 'fmt_0' is not implemented"),
        (lambda: service.base_fmt(a=1, b=2), "Method 'fmt_0' is not implemented"),
    ):
        with pytest.raises(NotImplementedError) as info:
            call()
        assert str(info.value) == message


class ListOfSheets(list):
    pass


@pytest.mark.parametrize(
    "args, kwargs, exc_type, message",
    [
        (([],), {}, NotImplementedError, "Method 'summary_0' is not implemented"),
        (([],), {"k": 1}, NotImplementedError, "Method 'summary_0' is not implemented"),
        ((ListOfSheets([1, "x"]),), {}, NotImplementedError, "Method 'summary_0' is not implemented"),
        (((),), {}, TypeError, "argument 'sheets': 'tuple' object cannot be converted to 'PyList'"),
        ((None,), {"k": 1}, TypeError, "argument 'sheets': 'NoneType' object cannot be converted to 'PyList'"),
        ((), {}, TypeError, "Service.summary_0() missing 1 required positional argument: 'sheets'"),
        ((), {"sheets": []}, TypeError, "Service.summary_0() missing 1 required positional argument: 'sheets'"),
        (([], 1), {}, TypeError, "Service.summary_0() takes 1 positional arguments but 2 were given"),
    ],
)
def test_summary_0(args, kwargs, exc_type, message):
    for service in (vorlix.Service(None), PlainService(None)):
        with pytest.raises(exc_type) as info:
            service.summary_0(*args, **kwargs)
        assert type(info.value) is exc_type and str(info.value) == message


@pytest.mark.parametrize(
    "args, kwargs, exc_type, message",
    [
        ((), {}, NotImplementedError, "Method 'fmt_0' is not implemented"),
        ((), {"x": 1, "sheets": 2}, NotImplementedError, "Method 'fmt_0' is not implemented"),
        ((1,), {}, TypeError, "Service._fmt_0() takes 0 positional arguments but 1 was given"),
    ],
)
def test_fmt_0(args, kwargs, exc_type, message):
    for service in (vorlix.Service(None), PlainService(None)):
        with pytest.raises(exc_type) as info:
            service._fmt_0(*args, **kwargs)
        assert type(info.value) is exc_type and str(info.value) == message


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: vorlix.Service(), "Service.__new__() missing 1 required positional argument: 'conn_db'"),
        (lambda: vorlix.Service(1, 2), "Service.__new__() takes 1 positional arguments but 2 were given"),
        (lambda: vorlix.Service(1, conn_db=2), "Service.__new__() got multiple values for argument 'conn_db'"),
        (lambda: vorlix.Service(db=1), "Service.__new__() got an unexpected keyword argument 'db'"),
        (lambda: PlainService(), "Service.__new__() missing 1 required positional argument: 'conn_db'"),
        (lambda: PlainService(None)._add_sheet(), "Service._add_sheet() missing 1 required positional argument: 'name'"),
        (lambda: PlainService(None)._add_sheet(None),
         "argument 'name': 'NoneType' object cannot be converted to 'PyString'"),
        (lambda: PlainService(None)._copy_sheet(vorlix.Book()),
         "argument 'sheet': 'Book' object cannot be converted to 'Sheet'"),
        (lambda: PlainService(None)._get_sheet_index("0"),
         "argument 'idx': 'str' object cannot be interpreted as an integer"),
        (lambda: PlainService(None)._get_sheet_name(name=1),
         "argument 'name': 'int' object cannot be converted to 'PyString'"),
    ],
)
def test_argument_errors_name_the_base_class(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_subclass_init_sees_the_one_argument_check():
    class WithInit(vorlix.Service):
        def __init__(self, conn_db, extra=None):
            self.extra = extra

    assert WithInit("c").extra is None
    with pytest.raises(TypeError, match=r"^Service\.__new__\(\) takes 1 positional arguments but 2 were given$"):
        WithInit("c", "e")

    class WithNew(vorlix.Service):
        def __new__(cls, conn_db, extra):
            self = super().__new__(cls, conn_db)
            self.extra = extra
            return self

        def __init__(self, *args):
            pass

    service = WithNew("c", "e")
    assert (service._conn_db, service.extra) == ("c", "e")


def test_qualified_name_in_repr():
    class Inner(vorlix.Service):
        pass

    assert repr(Inner(None)) == f"{Inner.__qualname__}, sheets: 0"
    assert repr(Inner(None)).startswith("test_qualified_name_in_repr.<locals>.Inner, ")


def test_cycles_through_conn_db_are_collected():
    holder = []
    service = PlainService(holder)
    holder.append(service)
    sheet = service._add_sheet("S")
    ref = weakref.ref(service)
    del service, holder
    gc.collect()
    assert ref() is None
    # sheets handed out stay alive without their service
    sheet.cell(1, 1, "still here")
    assert sheet.cell(1, 1).value == "still here"
