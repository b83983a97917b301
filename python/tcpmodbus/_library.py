"""Finding and loading the tcpmodbus library, and its C functions' types.

The library is looked for, in this order:

1. beside this package (libtcpmodbus.so.1, or tcpmodbus.dll, in the
   package's own folder): where `pip install` puts it, so a package shipped
   with its library uses that one;
2. in the library folder of the prefix the package was installed into, when
   the CMake install or the Debian package put it there: the install writes
   that folder, relative to the package, into the module _installed, which
   exists only in such an installed tree;
3. by its file name through the platform's loader: LD_LIBRARY_PATH and the
   system's library folders on Linux; on Windows the folders that
   os.add_dll_directory added and the system's;
4. through ctypes.util.find_library("tcpmodbus"), which also searches PATH
   on Windows.

Only major version 1 is looked for by name: its binary interface is the
one declared here.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import importlib
import os
import sys
import sysconfig
from typing import Dict, Iterator, List, Optional

_ABI_MAJOR = 1
# The C interface came with library 1.1; transaction identifiers, the
# trace sink, the error codes and the point operations with 1.2; typed
# values and the device map with 1.3.
_LEAST_MINOR = 3

_Handle = ctypes.c_void_p
_UShortArray = ctypes.POINTER(ctypes.c_ushort)
_UCharArray = ctypes.POINTER(ctypes.c_ubyte)
_IntOut = ctypes.POINTER(ctypes.c_int)
_UShortOut = ctypes.POINTER(ctypes.c_ushort)
_Int64Out = ctypes.POINTER(ctypes.c_int64)
_UInt64Out = ctypes.POINTER(ctypes.c_uint64)
_FloatOut = ctypes.POINTER(ctypes.c_float)
_DoubleOut = ctypes.POINTER(ctypes.c_double)
_SizeOut = ctypes.POINTER(ctypes.c_size_t)
_TextOut = ctypes.POINTER(ctypes.c_char_p)
_TextArray = ctypes.POINTER(ctypes.c_char_p)
# The leading arguments of typed values: type and order; handle, table and
# address of a read; handle and address of a write.
_TYPED = [ctypes.c_int, ctypes.c_int]
_READ = [_Handle, ctypes.c_int, ctypes.c_ushort]
_WRITE = [_Handle, ctypes.c_ushort]

# tcpmodbus_trace_fn: void (*)(void* context, const char* text, size_t
# length). The text comes as its address, read as length bytes: the length
# is what counts, not the NUL after it.
TRACE_FN = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t)

# name: (result type, argument types), as tcpmodbus.h declares them.
_PROTOTYPES = {
    "tcpmodbus_create": (_Handle, []),
    "tcpmodbus_destroy": (None, [_Handle]),
    "tcpmodbus_initialize": (
        ctypes.c_int,
        [_Handle, ctypes.c_ushort, ctypes.c_char_p, ctypes.c_ushort, ctypes.c_char_p],
    ),
    "tcpmodbus_close": (None, [_Handle]),
    "tcpmodbus_last_error": (ctypes.c_char_p, [_Handle]),
    "tcpmodbus_write_single_hold_reg": (
        ctypes.c_int,
        [_Handle, ctypes.c_ushort, ctypes.c_ushort],
    ),
    "tcpmodbus_write_multi_hold_regs": (
        ctypes.c_int,
        [_Handle, ctypes.c_ushort, _UShortArray, ctypes.c_ushort],
    ),
    "tcpmodbus_read_hold_regs": (
        ctypes.c_int,
        [_Handle, ctypes.c_ushort, _UShortArray, ctypes.c_ushort],
    ),
    "tcpmodbus_read_input_regs": (
        ctypes.c_int,
        [_Handle, ctypes.c_ushort, _UShortArray, ctypes.c_ushort],
    ),
    "tcpmodbus_set_connect_timeout": (ctypes.c_int, [_Handle, ctypes.c_uint]),
    "tcpmodbus_set_response_timeout": (ctypes.c_int, [_Handle, ctypes.c_uint]),
    "tcpmodbus_set_recovery": (ctypes.c_int, [_Handle, ctypes.c_int]),
    "tcpmodbus_set_server_port": (ctypes.c_int, [_Handle, ctypes.c_ushort]),
    "tcpmodbus_set_unit_id": (ctypes.c_int, [_Handle, ctypes.c_ubyte]),
    "tcpmodbus_reconnects": (ctypes.c_uint, [_Handle]),
    "tcpmodbus_set_transaction_ids": (ctypes.c_int, [_Handle, ctypes.c_int]),
    "tcpmodbus_set_trace": (ctypes.c_int, [_Handle, TRACE_FN, ctypes.c_void_p]),
    "tcpmodbus_version": (ctypes.c_char_p, []),
    "tcpmodbus_last_error_code": (ctypes.c_int, [_Handle]),
    "tcpmodbus_last_exception_code": (ctypes.c_int, [_Handle]),
    "tcpmodbus_last_system_error": (ctypes.c_int, [_Handle]),
    "tcpmodbus_error_name": (ctypes.c_char_p, [ctypes.c_int]),
    "tcpmodbus_last_failure_text": (ctypes.c_char_p, [_Handle]),
    "tcpmodbus_constant": (ctypes.c_long, [ctypes.c_char_p]),
    "tcpmodbus_set_max_in_flight": (ctypes.c_int, [_Handle, ctypes.c_uint]),
    "tcpmodbus_read_batch": (ctypes.c_int, [_Handle, ctypes.c_void_p, ctypes.c_uint]),
    "tcpmodbus_step_downs": (ctypes.c_uint, [_Handle]),
    "tcpmodbus_read_coils": (
        ctypes.c_int,
        [_Handle, ctypes.c_ushort, _UCharArray, ctypes.c_ushort],
    ),
    "tcpmodbus_read_discrete_inputs": (
        ctypes.c_int,
        [_Handle, ctypes.c_ushort, _UCharArray, ctypes.c_ushort],
    ),
    "tcpmodbus_write_single_coil": (ctypes.c_int, [_Handle, ctypes.c_ushort, ctypes.c_int]),
    "tcpmodbus_write_multi_coils": (
        ctypes.c_int,
        [_Handle, ctypes.c_ushort, _UCharArray, ctypes.c_ushort],
    ),
    "tcpmodbus_mask_write_hold_reg": (
        ctypes.c_int,
        [_Handle, ctypes.c_ushort, ctypes.c_ushort, ctypes.c_ushort],
    ),
    "tcpmodbus_read_write_multi_hold_regs": (
        ctypes.c_int,
        [
            _Handle,
            ctypes.c_ushort,
            _UShortArray,
            ctypes.c_ushort,
            ctypes.c_ushort,
            _UShortArray,
            ctypes.c_ushort,
        ],
    ),
    # Typed values (1.3): names to numbers, the codecs, typed reads and
    # writes; tcpmodbus_int64 and tcpmodbus_uint64 are 64-bit integers.
    "tcpmodbus_parse_type": (ctypes.c_int, [ctypes.c_char_p, _IntOut, _UShortOut]),
    "tcpmodbus_parse_order": (ctypes.c_int, [ctypes.c_char_p, ctypes.c_int, _IntOut]),
    "tcpmodbus_parse_table": (ctypes.c_int, [ctypes.c_char_p, _IntOut]),
    "tcpmodbus_encode_signed": (ctypes.c_int, [*_TYPED, ctypes.c_int64, _UShortArray]),
    "tcpmodbus_encode_unsigned": (ctypes.c_int, [*_TYPED, ctypes.c_uint64, _UShortArray]),
    "tcpmodbus_encode_f32": (ctypes.c_int, [ctypes.c_int, ctypes.c_float, _UShortArray]),
    "tcpmodbus_encode_f64": (ctypes.c_int, [ctypes.c_int, ctypes.c_double, _UShortArray]),
    "tcpmodbus_encode_string": (
        ctypes.c_int,
        [ctypes.c_int, ctypes.c_char_p, _UShortArray, ctypes.c_ushort],
    ),
    "tcpmodbus_decode_signed": (ctypes.c_int, [*_TYPED, _UShortArray, _Int64Out]),
    "tcpmodbus_decode_unsigned": (ctypes.c_int, [*_TYPED, _UShortArray, _UInt64Out]),
    "tcpmodbus_decode_f32": (ctypes.c_int, [ctypes.c_int, _UShortArray, _FloatOut]),
    "tcpmodbus_decode_f64": (ctypes.c_int, [ctypes.c_int, _UShortArray, _DoubleOut]),
    "tcpmodbus_decode_string": (
        ctypes.c_int,
        [ctypes.c_int, _UShortArray, ctypes.c_ushort, ctypes.c_char_p, _SizeOut],
    ),
    "tcpmodbus_read_signed": (ctypes.c_int, [*_READ, *_TYPED, _Int64Out]),
    "tcpmodbus_read_unsigned": (ctypes.c_int, [*_READ, *_TYPED, _UInt64Out]),
    "tcpmodbus_read_f32": (ctypes.c_int, [*_READ, ctypes.c_int, _FloatOut]),
    "tcpmodbus_read_f64": (ctypes.c_int, [*_READ, ctypes.c_int, _DoubleOut]),
    "tcpmodbus_read_string": (
        ctypes.c_int,
        [*_READ, ctypes.c_int, ctypes.c_ushort, ctypes.c_char_p, _SizeOut],
    ),
    "tcpmodbus_write_signed": (ctypes.c_int, [*_WRITE, *_TYPED, ctypes.c_int64]),
    "tcpmodbus_write_unsigned": (ctypes.c_int, [*_WRITE, *_TYPED, ctypes.c_uint64]),
    "tcpmodbus_write_f32": (ctypes.c_int, [*_WRITE, ctypes.c_int, ctypes.c_float]),
    "tcpmodbus_write_f64": (ctypes.c_int, [*_WRITE, ctypes.c_int, ctypes.c_double]),
    "tcpmodbus_write_string": (
        ctypes.c_int,
        [*_WRITE, ctypes.c_int, ctypes.c_ushort, ctypes.c_char_p],
    ),
    # The device map (1.3): handles of a map, a plan and a snapshot, each
    # released by its destroy function.
    "tcpmodbus_map_create": (_Handle, []),
    "tcpmodbus_map_destroy": (None, [_Handle]),
    "tcpmodbus_map_add": (
        ctypes.c_int,
        [
            _Handle,
            ctypes.c_char_p,
            ctypes.c_char_p,
            ctypes.c_ushort,
            ctypes.c_char_p,
            ctypes.c_char_p,
            ctypes.c_double,
            ctypes.c_char_p,
        ],
    ),
    "tcpmodbus_map_load": (ctypes.c_int, [_Handle, ctypes.c_char_p]),
    "tcpmodbus_map_error": (ctypes.c_char_p, [_Handle]),
    "tcpmodbus_map_size": (ctypes.c_size_t, [_Handle]),
    "tcpmodbus_map_point": (
        ctypes.c_int,
        [
            _Handle,
            ctypes.c_size_t,
            _TextOut,
            _TextOut,
            _UShortOut,
            _TextOut,
            _TextOut,
            _DoubleOut,
            _TextOut,
        ],
    ),
    "tcpmodbus_plan_create": (
        _Handle,
        [_Handle, _Handle, ctypes.c_uint, ctypes.c_uint, ctypes.c_uint],
    ),
    "tcpmodbus_plan_destroy": (None, [_Handle]),
    "tcpmodbus_plan_requests": (ctypes.c_size_t, [_Handle]),
    "tcpmodbus_plan_request": (
        ctypes.c_int,
        [_Handle, ctypes.c_size_t, _TextOut, _UShortOut, _UShortOut, _SizeOut],
    ),
    "tcpmodbus_plan_point": (ctypes.c_size_t, [_Handle, ctypes.c_size_t, ctypes.c_size_t]),
    "tcpmodbus_map_read": (
        _Handle,
        [_Handle, _Handle, ctypes.c_uint, ctypes.c_uint, ctypes.c_uint],
    ),
    "tcpmodbus_snapshot_destroy": (None, [_Handle]),
    "tcpmodbus_snapshot_size": (ctypes.c_size_t, [_Handle]),
    "tcpmodbus_snapshot_status": (ctypes.c_int, [_Handle, ctypes.c_size_t]),
    "tcpmodbus_snapshot_exception_code": (ctypes.c_int, [_Handle, ctypes.c_size_t]),
    "tcpmodbus_snapshot_error_code": (ctypes.c_int, [_Handle, ctypes.c_size_t]),
    "tcpmodbus_snapshot_time": (ctypes.c_double, [_Handle, ctypes.c_size_t]),
    "tcpmodbus_snapshot_request": (ctypes.c_size_t, [_Handle, ctypes.c_size_t]),
    "tcpmodbus_snapshot_value": (ctypes.c_double, [_Handle, ctypes.c_size_t]),
    "tcpmodbus_snapshot_text": (ctypes.c_char_p, [_Handle, ctypes.c_size_t]),
    "tcpmodbus_snapshot_requests": (ctypes.c_size_t, [_Handle]),
    "tcpmodbus_snapshot_sent": (
        ctypes.c_int,
        [_Handle, ctypes.c_size_t, _TextOut, _UShortOut, _UShortOut, _IntOut, _IntOut],
    ),
    "tcpmodbus_reading_status_name": (ctypes.c_char_p, [ctypes.c_int]),
    "tcpmodbus_holes": (ctypes.c_size_t, [_Handle]),
    "tcpmodbus_hole": (
        ctypes.c_int,
        [_Handle, ctypes.c_size_t, _TextOut, _UShortOut, _UShortOut, _IntOut],
    ),
    "tcpmodbus_learned_limit": (ctypes.c_uint, [_Handle, ctypes.c_char_p]),
    "tcpmodbus_clear_holes": (ctypes.c_int, [_Handle]),
    "tcpmodbus_map_write": (
        ctypes.c_int,
        [_Handle, _Handle, ctypes.c_size_t, _TextArray, _TextArray],
    ),
}


def _file_name() -> str:
    if sys.platform == "win32":
        return "tcpmodbus.dll"
    if sys.platform == "darwin":
        return f"libtcpmodbus.{_ABI_MAJOR}.dylib"
    return f"libtcpmodbus.so.{_ABI_MAJOR}"


def _prefix_library_dir(package_dir: str) -> Optional[str]:
    """The library folder of the prefix this package was installed into, as
    the install wrote it; None where no install wrote it (the source tree,
    a pip install)."""
    try:
        installed = importlib.import_module(f"{__package__}._installed")
    except ImportError:
        return None
    # Debian's multiarch folder is written as "{multiarch}", so that one
    # python3-tcpmodbus package serves every architecture; the interpreter
    # knows its own.
    multiarch = sysconfig.get_config_var("MULTIARCH") or ""
    relative = str(installed.LIBRARY_DIR).format(multiarch=multiarch)
    return os.path.normpath(os.path.join(package_dir, relative))


def _candidates() -> Iterator[str]:
    name = _file_name()
    package_dir = os.path.dirname(os.path.abspath(__file__))
    yield os.path.join(package_dir, name)
    prefix_dir = _prefix_library_dir(package_dir)
    if prefix_dir is not None:
        yield os.path.join(prefix_dir, name)
    yield name
    found = ctypes.util.find_library("tcpmodbus")
    if found:
        yield found


def _declare(library: ctypes.CDLL) -> None:
    for name, (result, arguments) in _PROTOTYPES.items():
        function = getattr(library, name)
        function.restype = result
        function.argtypes = arguments


def _check_version(library: ctypes.CDLL) -> None:
    text = library.tcpmodbus_version().decode("ascii")
    major, minor = (int(part) for part in text.split(".")[:2])
    if major != _ABI_MAJOR or minor < _LEAST_MINOR:
        raise OSError(f"version {text}, not {_ABI_MAJOR}.{_LEAST_MINOR} or a later {_ABI_MAJOR}.x")


def load() -> ctypes.CDLL:
    """The first library of the candidates that loads and fits, its
    functions typed; ImportError naming every candidate when none does."""
    tried: List[str] = []
    for candidate in _candidates():
        if os.path.isabs(candidate) and not os.path.exists(candidate):
            tried.append(f"{candidate}: no such file")
            continue
        try:
            library = ctypes.CDLL(candidate)
            _declare(library)
            _check_version(library)
        except (OSError, AttributeError, ValueError) as error:
            tried.append(f"{candidate}: {error}")
            continue
        return library
    raise ImportError("cannot load the tcpmodbus library; tried " + "; ".join(tried))


if sys.platform == "win32":
    # The library never starts Windows Sockets; Python's socket module starts
    # them for the process (WSAStartup) when it is imported.
    import socket  # noqa: F401

LIBRARY = load()

# The library's standard-output sink, and no sink (the trace off; ctypes
# takes no None for a function pointer), as values of TRACE_FN.
TRACE_TO_STDOUT = TRACE_FN(("tcpmodbus_trace_stdout", LIBRARY))
NO_TRACE = TRACE_FN(0)


def version() -> str:
    """The loaded library's version, "major.minor.patch"."""
    return str(LIBRARY.tcpmodbus_version().decode("ascii"))


def error_name(code: int) -> str:
    """The library's stable name of an error code, such as "TIMEOUT";
    "UNKNOWN" for a code it does not know."""
    return str(LIBRARY.tcpmodbus_error_name(code).decode("ascii"))


def constant(name: str) -> int:
    """One of the library's TCPMODBUS_* constants, by its name without the
    prefix ("MAX_READ_BITS"); the library is the one place that has them."""
    value = int(LIBRARY.tcpmodbus_constant(name.encode("ascii")))
    if value < 0:
        raise ImportError(f"the tcpmodbus library does not know the constant {name}")
    return value


def error_codes() -> Dict[str, int]:
    """Every error code the library has, by its name: the codes run from 0
    up to the first that has no name."""
    codes: Dict[str, int] = {}
    while error_name(len(codes)) != "UNKNOWN":
        codes[error_name(len(codes))] = len(codes)
    return codes


def failure_text(handle: int) -> str:
    """The library's text of the last failure on the handle."""
    return str(LIBRARY.tcpmodbus_last_failure_text(handle).decode("utf-8", "replace"))


def last_error(handle: int) -> str:
    """The library's LastErrorString."""
    return str(LIBRARY.tcpmodbus_last_error(handle).decode("utf-8", "replace"))
