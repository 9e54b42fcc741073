// ddsswizzle._native: the library's calls for the Python package ddsswizzle
// (python/ddsswizzle/), which checks every argument first and holds the
// signatures, the names and the conveniences. What arrives here is already
// sound: consoles, directions and formats as numbers, sides and counts in
// their C ranges. Only buffers are checked here, where they are taken.
//
// Buffers come in through the buffer protocol, so bytes, bytearray,
// memoryview, mmap and numpy arrays are all taken without a copy. Their views
// stay held while the conversion runs with the GIL released: no other thread
// can resize or free an exported bytearray or array meanwhile.
//
// The library throws nothing; a status it returns becomes a Python exception
// here, at the module's edge, as the package's Error subclass for its status
// (handed over once by set_errors), or ValueError for a call got wrong.
#include <pybind11/pybind11.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "ddsswizzle/ddsswizzle.hpp"

namespace py = pybind11;

namespace {

using ddsswizzle::Console;
using ddsswizzle::Direction;
using ddsswizzle::Reason;
using ddsswizzle::Status;
using ddsswizzle::Surface;

// The package's Error subclasses for the statuses a texture is refused with,
// 1 to 5, in that order. Kept as plain pointers with a reference of their
// own, so that nothing is released after the interpreter has gone.
std::array<PyObject*, 5> error_types{};

// Raises the status as Python sees it: a refusal of the texture as its Error
// subclass, built from the tool's message and the reason (None where the
// library gives none); a call got wrong as ValueError.
[[noreturn]] void raise_status(Status status, Reason reason) {
    const auto code = static_cast<std::size_t>(status);
    const std::string why(ddsswizzle::describe(reason));
    if (code == 0 || code > error_types.size() || error_types[code - 1] == nullptr) {
        std::string text(ddsswizzle::message(status == Status::ok ? Status::invalid_argument : status));
        if (!why.empty()) text.append(": ").append(why);
        throw py::value_error(text);
    }
    PyObject* const type = error_types[code - 1];
    const py::object error = py::handle(type)(
        py::str(std::string(ddsswizzle::message(status))), why.empty() ? py::object(py::none()) : py::object(py::str(why)));
    PyErr_SetObject(type, error.ptr());
    throw py::error_already_set();
}

// A buffer export held for as long as the object lives (released with the
// GIL held, which every destructor here runs under). Only C-contiguous
// buffers are taken: the library reads and writes one run of bytes.
class BufferView {
public:
    BufferView(const py::handle& object, bool writable, const char* name) {
        const int flags = writable ? PyBUF_RECORDS : PyBUF_RECORDS_RO;
        if (PyObject_GetBuffer(object.ptr(), &view_, flags) != 0) {
            // A read-only object offered for writing, like any object that is
            // no buffer, is the wrong type of argument (as for readinto).
            PyErr_Clear();
            throw py::type_error(std::string(name) + (writable ? " must be a writable buffer, not "
                                                                : " must be a bytes-like object, not ") +
                                 std::string(py::str(py::type::of(object).attr("__name__"))));
        }
        // No destructor runs for an object whose constructor throws: the
        // export is given back here, or the exporter stays locked (a
        // bytearray could never be resized again).
        if (PyBuffer_IsContiguous(&view_, 'C') == 0) {
            PyBuffer_Release(&view_);
            throw py::value_error(std::string(name) + " must be a C-contiguous buffer");
        }
    }
    BufferView(const BufferView&) = delete;
    BufferView& operator=(const BufferView&) = delete;
    ~BufferView() { PyBuffer_Release(&view_); }

    std::span<const std::byte> bytes() const noexcept {
        return {static_cast<const std::byte*>(view_.buf), static_cast<std::size_t>(view_.len)};
    }
    std::span<std::byte> writable_bytes() const noexcept {
        return {static_cast<std::byte*>(view_.buf), static_cast<std::size_t>(view_.len)};
    }

private:
    Py_buffer view_{};
};

// A fresh bytes object of the given length for a result; nobody else can see
// it until it is returned, so it may be written with the GIL released.
py::bytes fresh_bytes(std::uint64_t length) {
    if (length > static_cast<std::uint64_t>(std::numeric_limits<Py_ssize_t>::max())) {
        PyErr_NoMemory();
        throw py::error_already_set();
    }
    PyObject* object = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(length));
    if (object == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::bytes>(object);
}

std::span<std::byte> contents(const py::handle& object) {
    return {reinterpret_cast<std::byte*>(PyBytes_AS_STRING(object.ptr())),
            static_cast<std::size_t>(PyBytes_GET_SIZE(object.ptr()))};
}

// Consoles and directions arrive as the C enumerators' numbers, which the
// package maps its words to; the library refuses any other number itself.
Console console_of(int console) { return static_cast<Console>(console); }
Direction direction_of(int direction) { return static_cast<Direction>(direction); }

Surface surface_of(std::uint32_t format, std::int32_t width, std::int32_t height, std::int32_t depth,
                   std::int32_t levels, bool cube) {
    return {format, width, height, depth, levels, cube};
}

// Raises the library's refusal of the surface, with its reason, unless the
// console can convert it.
void require_convertible(const Surface& surface, Console console) {
    Reason reason = DDSSWIZZLE_REASON_NONE;
    const Status status = ddsswizzle::check(surface, console, &reason);
    if (status != Status::ok) raise_status(status, reason);
}

struct Sizes {
    std::uint64_t linear = 0;
    std::uint64_t console = 0;
};

// The sizes, or the refusal with its reason (asked of check only then: each
// call lays the surface out anew, a good part of a small surface's call).
Sizes sizes_of(const Surface& surface, Console console) {
    Sizes sizes;
    const Status status = ddsswizzle::sizes(surface, console, sizes.linear, sizes.console);
    if (status != Status::ok) {
        require_convertible(surface, console);
        raise_status(status, DDSSWIZZLE_REASON_NONE);
    }
    return sizes;
}

bool overlap(std::span<const std::byte> a, std::span<const std::byte> b) noexcept {
    const auto first = reinterpret_cast<std::uintptr_t>(a.data());
    const auto second = reinterpret_cast<std::uintptr_t>(b.data());
    return !a.empty() && !b.empty() && first < second + b.size() && second < first + a.size();
}

// swizzle and unswizzle: the payload converted into a fresh bytes object, or
// into `out`, which must be exactly the output size and is returned.
py::object convert(int direction, const py::handle& payload, int console, std::uint32_t format, std::int32_t width,
                   std::int32_t height, std::int32_t depth, std::int32_t levels, bool cube, const py::object& out) {
    const Surface surface = surface_of(format, width, height, depth, levels, cube);
    const Sizes sizes = sizes_of(surface, console_of(console));
    const Direction way = direction_of(direction);
    const std::uint64_t in_size = way == Direction::swizzle ? sizes.linear : sizes.console;
    const std::uint64_t out_size = way == Direction::swizzle ? sizes.console : sizes.linear;
    const BufferView source(payload, false, "payload");
    if (source.bytes().size() < in_size) raise_status(Status::truncated_data, DDSSWIZZLE_REASON_DATA_SHORT);
    // Only the input size is read: the bytes of a container after the
    // payload may be passed along and are left alone.
    const std::span<const std::byte> input = source.bytes().first(static_cast<std::size_t>(in_size));

    // The result: a fresh bytes object, or `out`, whose export is held until
    // the conversion is done.
    py::object result = out.is_none() ? py::object(fresh_bytes(out_size)) : out;
    std::optional<BufferView> target;
    std::span<std::byte> output;
    if (out.is_none()) {
        output = contents(result);
    } else {
        output = target.emplace(out, true, "out").writable_bytes();
        if (output.size() != out_size) {
            throw py::value_error("out must be exactly " + std::to_string(out_size) + " bytes, not " +
                                  std::to_string(output.size()));
        }
        if (overlap(input, output)) raise_status(Status::invalid_argument, DDSSWIZZLE_REASON_BUFFERS_OVERLAP);
    }
    Status status = Status::ok;
    {
        const py::gil_scoped_release unlocked;
        status = ddsswizzle::convert(surface, console_of(console), way, input, output);
    }
    if (status != Status::ok) raise_status(status, DDSSWIZZLE_REASON_NONE);
    return result;
}

// A whole DDS file: checked as the tool checks it (for the reason of a
// refusal and the converted length), then converted into a fresh bytes
// object, the same bytes the tool writes to the file.
py::bytes convert_dds(const py::handle& data, int direction, int console) {
    const BufferView file(data, false, "data");
    std::uint64_t converted_size = 0;
    Reason reason = DDSSWIZZLE_REASON_NONE;
    Status status = ddsswizzle::check_dds(file.bytes(), file.bytes().size(), console_of(console), direction_of(direction),
                                          converted_size, &reason);
    if (status != Status::ok) raise_status(status, reason);
    py::bytes result = fresh_bytes(converted_size);
    const std::span<std::byte> output = contents(result);
    {
        const py::gil_scoped_release unlocked;
        status = ddsswizzle::convert_dds(file.bytes(), output, console_of(console), direction_of(direction));
    }
    if (status != Status::ok) raise_status(status, DDSSWIZZLE_REASON_NONE);
    return result;
}

// What the library reads of a DDS header, refusals included, for the
// package to complete: (status, reason, format, width, height, depth,
// levels, cube, volume, payload_offset).
py::tuple read_dds(const py::handle& data) {
    const BufferView file(data, false, "data");
    ddsswizzle::DdsInfo info;
    Reason reason = DDSSWIZZLE_REASON_NONE;
    const Status status = ddsswizzle::read_dds(file.bytes(), info, &reason);
    const Surface& s = info.surface;
    return py::make_tuple(static_cast<int>(status), static_cast<int>(reason), s.format, s.width, s.height, s.depth,
                          s.levels, s.cube, info.volume, info.payload_offset);
}

// The tool's check of a file of file_size bytes that begins with data:
// (status, reason, converted size).
py::tuple check_dds(const py::handle& data, std::uint64_t file_size, int direction, int console) {
    const BufferView start(data, false, "data");
    std::uint64_t converted_size = 0;
    Reason reason = DDSSWIZZLE_REASON_NONE;
    const Status status = ddsswizzle::check_dds(start.bytes(), file_size, console_of(console), direction_of(direction),
                                                converted_size, &reason);
    return py::make_tuple(static_cast<int>(status), static_cast<int>(reason), converted_size);
}

// Every level of every face, face after face as the linear layout stores
// them, each a tuple of a placement's fields.
py::list layout(int console, std::uint32_t format, std::int32_t width, std::int32_t height, std::int32_t depth,
                std::int32_t levels, bool cube) {
    const Surface surface = surface_of(format, width, height, depth, levels, cube);
    require_convertible(surface, console_of(console));
    py::list entries;
    const std::int32_t faces = cube ? 6 : 1;
    for (std::int32_t face = 0; face < faces; ++face) {
        for (std::int32_t level = 0; level < levels; ++level) {
            ddsswizzle::Placement p{};
            const Status status = ddsswizzle::place(surface, console_of(console), level, face, p);
            if (status != Status::ok) raise_status(status, DDSSWIZZLE_REASON_NONE);
            entries.append(py::make_tuple(p.level, p.face, p.width, p.height, p.depth, p.linear_offset,
                                          p.linear_length, p.console_offset, p.console_length));
        }
    }
    return entries;
}

// The DDS header of a surface, legacy where readers expect one, as a bytes
// object of its length (128 or 148).
py::bytes dds_header(std::uint32_t format, std::int32_t width, std::int32_t height, std::int32_t depth,
                     std::int32_t levels, bool cube, bool legacy) {
    std::array<std::byte, 148> buffer{};
    std::size_t written = 0;
    const Status status =
        ddsswizzle::dds_header(surface_of(format, width, height, depth, levels, cube), legacy, buffer, written);
    if (status != Status::ok) raise_status(status, DDSSWIZZLE_REASON_NONE);
    return {reinterpret_cast<const char*>(buffer.data()), written};
}

// The library's durable in-place rewrite of the file at path (the bytes of
// os.fsencode: UTF-8 on Windows, which the library's narrow entry takes):
// (status, reason, the system's error number for the four file statuses).
py::tuple convert_file(const py::bytes& path, int direction, int console) {
    const std::string name = path;  // its own copy, read with the GIL released
    Status status = Status::ok;
    Reason reason = DDSSWIZZLE_REASON_NONE;
    int error = 0;
    {
        const py::gil_scoped_release unlocked;
        status = ddsswizzle::convert_file(name.c_str(), console_of(console), direction_of(direction), &reason);
        error = errno;
    }
    const bool system = status == Status::cannot_open_file || status == Status::cannot_write_file ||
                        status == Status::out_of_memory || status == Status::not_confirmed_on_disk;
    return py::make_tuple(static_cast<int>(status), static_cast<int>(reason), system ? error : 0);
}

// The package's exception classes for the statuses 1 to 5.
void set_errors(const py::tuple& types) {
    if (types.size() != error_types.size()) throw py::value_error("set_errors takes one class per refusal status");
    for (std::size_t i = 0; i < error_types.size(); ++i) {
        PyObject* type = types[i].ptr();
        Py_INCREF(type);
        std::swap(error_types[i], type);
        Py_XDECREF(type);
    }
}

}  // namespace

PYBIND11_MODULE(_native, m) {
    m.doc() = "The library's calls for the package ddsswizzle, which checks their arguments first.";
    m.attr("version") = std::string(ddsswizzle::version());
    m.def("set_errors", &set_errors);
    m.def("status_message", [](int status) { return std::string(ddsswizzle::message(static_cast<Status>(status))); });
    m.def("reason_text", [](int reason) { return std::string(ddsswizzle::describe(static_cast<Reason>(reason))); });
    m.def("format_name", [](std::uint32_t format) { return std::string(ddsswizzle::format_name(format)); });
    m.def("format_number", [](std::string_view name) -> py::object {
        std::uint32_t number = 0;
        return ddsswizzle::format_number(name, number) ? py::object(py::int_(number)) : py::object(py::none());
    });
    m.def("check", [](int console, std::uint32_t format, std::int32_t width, std::int32_t height, std::int32_t depth,
                      std::int32_t levels, bool cube) {
        require_convertible(surface_of(format, width, height, depth, levels, cube), console_of(console));
    });
    m.def("sizes", [](int console, std::uint32_t format, std::int32_t width, std::int32_t height, std::int32_t depth,
                      std::int32_t levels, bool cube) {
        const Sizes sizes = sizes_of(surface_of(format, width, height, depth, levels, cube), console_of(console));
        return py::make_tuple(sizes.linear, sizes.console);
    });
    m.def("convert", &convert);
    m.def("convert_dds", &convert_dds);
    m.def("read_dds", &read_dds);
    m.def("check_dds", &check_dds);
    m.def("layout", &layout);
    m.def("convert_file", &convert_file);
    m.def("dds_header", &dds_header);
}
