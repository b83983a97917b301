"""The device map from Python: a snapshot from the simulated module with a
hole learned and skipped, the plan, map files and values refused."""

import pytest

import tcpmodbus
from tcpmodbus import InvalidArgumentError, Point

SERVER = LOCAL = "127.0.0.1"

POINTS = [Point("level", "holding", 10, "f32", "CDAB", unit="m"),
          Point("count", "holding", 12, scale=0.5), Point("name", "holding", 13, "string:2"),
          Point("total", "holding", 15, "u64", "HGFEDCBA"), Point("run", "coil", 5, "bit"),
          Point("past", "holding", 999, "u32")]  # register 1000 is past the table


def test_points_written_by_name_read_back_and_a_hole_learned(start_module):
    _, port = start_module(SERVER)
    with tcpmodbus.Module(server_port=port, trace=None) as module:
        module.initialize(1, LOCAL, 0, SERVER)
        module.write_points({"level": 123456.0, "count": 21, "name": "AB",
                             "total": 2**64 - 1, "run": True}, POINTS)
        assert module.plan(POINTS, max_registers=40) == [
            tcpmodbus.Request("coil", 5, 1, ("run",)),
            tcpmodbus.Request("holding", 10, 9, ("level", "count", "name", "total")),
            tcpmodbus.Request("holding", 999, 2, ("past",)),
        ]
        first = module.read_points(POINTS, max_registers=40)
        assert {name: reading.value for name, reading in first.items()} == {
            "level": 123456.0, "count": 21.0, "name": "AB", "total": 2**64 - 1, "run": True,
            "past": None}
        assert (first["run"].status, first["run"].request, first["level"].request) == ("ok", 1, 2)
        assert first["run"].time > 1.6e9
        assert (first["past"].status, first["past"].exception_code) == ("exception", 2)
        assert module.learned_holes == [tcpmodbus.Hole("holding", 999, 2, 2)]

        again = module.read_points(POINTS, max_registers=40)
        assert (again["past"].status, again["past"].value) == ("hole", None)
        assert [request.error_code for request in again.requests] == [0, 0]
        module.clear_holes()
        assert module.learned_holes == [] and len(module.plan(POINTS)) == 3


def test_the_map_file_is_read_by_the_library(tmp_path):
    path = tmp_path / "module.csv"
    path.write_text("name,table,address,type,order,scale,unit\n"
                    "run,coil,3,,,,\nflow,input,7,f32,BADC,0.1,l/s\n")
    assert tcpmodbus.load_map(path) == [Point("run", "coil", 3, "bit"),
                                        Point("flow", "input", 7, "f32", "BADC", 0.1, "l/s")]
    odd = tmp_path / "module\udcff.csv"  # a file name that is not UTF-8
    odd.write_text("name,table,address,type,order,scale,unit\n")
    assert tcpmodbus.load_map(odd) == []
    path.write_bytes(b"name,table,address,type,order,scale,unit\nt,input,1,,,,\xb0C\n")  # latin-1
    assert tcpmodbus.load_map(path) == [Point("t", "input", 1, unit="\ufffdC")]
    path.write_text("name,table,address,type,order,scale,unit\nflow,input,7,f33\n")
    with pytest.raises(InvalidArgumentError) as refused:
        tcpmodbus.load_map(path)
    assert str(refused.value).startswith(f"load_map: {path}:2:14: point 'flow': type 'f33'")


@pytest.mark.parametrize("call, message", [
    (lambda m: m.plan(POINTS, max_registers=0),
     "tcpmodbus_plan_create: max_registers must be 1 to 125, not 0"),
    (lambda m: m.read_points([Point("a", "holding", 0, "bit")]),
     "read_points: point 'a': holding registers hold numbers and texts, not bits"),
    (lambda m: m.write_points({"count": "7"}, POINTS),
     "write_points: point 'count' takes a number, not a str"),
    (lambda m: m.write_points({"level": 1e39}, POINTS),
     "tcpmodbus_map_write: point 'level': 1e+39 does not fit f32"),
    (lambda m: m.write_points({"nothing": 1}, POINTS),
     "tcpmodbus_map_write: no point named 'nothing' in the map"),
])
def test_values_refused_before_any_call(call, message):
    module = tcpmodbus.Module(trace=None)
    with pytest.raises(InvalidArgumentError) as refused:
        call(module)
    assert str(refused.value) == message
