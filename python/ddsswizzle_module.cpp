// The Python module ddsswizzle: the library's public interface for scripts.
// Whole DDS files in memory (convert_dds), raw payloads cut out of anything
// (swizzle, unswizzle, with the surface given as keyword arguments), the
// sizes and the place of every level, and the header of a DDS file.
//
// Buffers come in through the buffer protocol, so bytes, bytearray,
// memoryview, mmap and numpy arrays are all taken without a copy. Their views
// stay held while the conversion runs with the GIL released: no other thread
// can resize or free an exported bytearray or array meanwhile.
//
// The library throws nothing; a status it returns becomes a Python exception
// here, at the module's edge, and nowhere else.
#include <pybind11/pybind11.h>

#include <array>
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

// The exception classes, one per status a texture can be refused with
// (index: the status number; 0 is the base class Error). Created once when
// the module is imported and owned by it; kept as plain pointers so that
// nothing is released after the interpreter has gone.
std::array<PyObject*, 6> error_types{};

// Raises the status as Python sees it: a refusal of the texture as its Error
// subclass, whose text is the tool's message and whose `reason` tells why
// (None where the library gives no reason); a call got wrong as ValueError.
[[noreturn]] void raise_status(Status status, Reason reason) {
    const auto code = static_cast<std::size_t>(status);
    const std::string_view why = ddsswizzle::describe(reason);
    if (status == Status::invalid_argument || code == 0 || code >= error_types.size()) {
        std::string text(ddsswizzle::message(Status::invalid_argument));
        if (!why.empty()) text.append(": ").append(why);
        throw py::value_error(text);
    }
    const py::handle type(error_types[code]);
    py::object error = type(py::str(std::string(ddsswizzle::message(status))));
    error.attr("reason") = why.empty() ? py::object(py::none()) : py::object(py::str(std::string(why)));
    PyErr_SetObject(type.ptr(), error.ptr());
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

// Exactly the two words: a script that misspells one should hear of it, not
// get the PS3 layout the tool falls back to.
Console console_of(std::string_view word) {
    if (word == "ps3") return Console::ps3;
    if (word == "x360") return Console::x360;
    throw py::value_error("console must be 'ps3' or 'x360', not '" + std::string(word) + "'");
}

Direction direction_of(std::string_view mode) {
    if (mode == "swiz") return Direction::swizzle;
    if (mode == "unswiz") return Direction::unswizzle;
    throw py::value_error("mode must be 'swiz' or 'unswiz', not '" + std::string(mode) + "'");
}

// A DXGI number as it is (one the console has no layout for is refused by
// the library as an unknown format, as in a file), or its name without the
// DXGI_FORMAT_ prefix, which must be one DXGI defines.
std::uint32_t format_of(const py::handle& format) {
    if (py::isinstance<py::str>(format)) {
        const std::string name = format.cast<std::string>();
        std::uint32_t number = 0;
        if (!ddsswizzle::format_number(name, number)) throw py::value_error("no DXGI format is named '" + name + "'");
        return number;
    }
    if (!py::isinstance<py::int_>(format)) throw py::type_error("format must be a DXGI number or name");
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(format.ptr(), &overflow);
    if (overflow != 0 || number < 0 || number > std::numeric_limits<std::uint32_t>::max()) {
        throw py::value_error("format must be a DXGI number, not " + std::string(py::str(format)));
    }
    return static_cast<std::uint32_t>(number);
}

// Sides and level counts: 0 is for the library to refuse as an unsupported
// size, like a file that says 0; a negative count is no size at all.
std::int32_t count_of(std::int64_t value, const char* name) {
    if (value < 0 || value > std::numeric_limits<std::int32_t>::max()) {
        throw py::value_error(std::string(name) + " must be from 0 to 2147483647, not " + std::to_string(value));
    }
    return static_cast<std::int32_t>(value);
}

// The keyword arguments every surface function takes.
struct SurfaceArguments {
    Surface surface;
    Console console = Console::ps3;
};

SurfaceArguments surface_of(std::string_view console, const py::handle& format, std::int64_t width,
                            std::int64_t height, std::int64_t depth, std::int64_t levels, bool cube) {
    return {{format_of(format), count_of(width, "width"), count_of(height, "height"), count_of(depth, "depth"),
             count_of(levels, "levels"), cube},
            console_of(console)};
}

// Raises the library's refusal of the surface, with its reason, unless the
// console can convert it.
void require_convertible(const SurfaceArguments& a) {
    Reason reason = DDSSWIZZLE_REASON_NONE;
    const Status status = ddsswizzle::check(a.surface, a.console, &reason);
    if (status != Status::ok) raise_status(status, reason);
}

struct Sizes {
    std::uint64_t linear = 0;
    std::uint64_t console = 0;
};

// The sizes, or the refusal with its reason (asked of check only then: each
// call lays the surface out anew, a good part of a small surface's call).
Sizes sizes_of(const SurfaceArguments& a) {
    Sizes sizes;
    const Status status = ddsswizzle::sizes(a.surface, a.console, sizes.linear, sizes.console);
    if (status != Status::ok) {
        require_convertible(a);
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
py::object convert_payload(Direction direction, const py::handle& payload, std::string_view console,
                           const py::handle& format, std::int64_t width, std::int64_t height, std::int64_t depth,
                           std::int64_t levels, bool cube, const py::object& out) {
    const SurfaceArguments a = surface_of(console, format, width, height, depth, levels, cube);
    const Sizes sizes = sizes_of(a);
    const std::uint64_t in_size = direction == Direction::swizzle ? sizes.linear : sizes.console;
    const std::uint64_t out_size = direction == Direction::swizzle ? sizes.console : sizes.linear;
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
        status = ddsswizzle::convert(a.surface, a.console, direction, input, output);
    }
    if (status != Status::ok) raise_status(status, DDSSWIZZLE_REASON_NONE);
    return result;
}

// A whole DDS file: checked as the tool checks it (for the reason of a
// refusal and the converted length), then converted into a fresh bytes
// object, the same bytes the tool writes to the file.
py::bytes convert_dds(const py::handle& data, std::string_view mode, std::string_view console) {
    const Direction direction = direction_of(mode);
    const Console target = console_of(console);
    const BufferView file(data, false, "data");
    std::uint64_t converted_size = 0;
    Reason reason = DDSSWIZZLE_REASON_NONE;
    Status status = ddsswizzle::check_dds(file.bytes(), file.bytes().size(), target, direction, converted_size, &reason);
    if (status != Status::ok) raise_status(status, reason);
    py::bytes result = fresh_bytes(converted_size);
    const std::span<std::byte> output = contents(result);
    {
        const py::gil_scoped_release unlocked;
        status = ddsswizzle::convert_dds(file.bytes(), output, target, direction);
    }
    if (status != Status::ok) raise_status(status, DDSSWIZZLE_REASON_NONE);
    return result;
}

// The header of a DDS file: the surface as keyword arguments of swizzle and
// the offset at which its payload starts.
py::tuple read_dds(const py::handle& data) {
    const BufferView file(data, false, "data");
    ddsswizzle::DdsInfo info;
    Reason reason = DDSSWIZZLE_REASON_NONE;
    const Status status = ddsswizzle::read_dds(file.bytes(), info, &reason);
    if (status != Status::ok) raise_status(status, reason);
    const Surface& s = info.surface;
    py::dict surface;
    surface["format"] = s.format;
    surface["width"] = s.width;
    surface["height"] = s.height;
    surface["depth"] = s.depth;
    surface["levels"] = s.levels;
    surface["cube"] = s.cube;
    return py::make_tuple(surface, info.payload_offset);
}

// Every level of every face, face after face as the linear layout stores
// them, each a Placement record.
py::list layout(const py::handle& placement_type, std::string_view console, const py::handle& format,
                std::int64_t width, std::int64_t height, std::int64_t depth, std::int64_t levels, bool cube) {
    const SurfaceArguments a = surface_of(console, format, width, height, depth, levels, cube);
    require_convertible(a);
    py::list entries;
    const std::int32_t faces = a.surface.cube ? 6 : 1;
    for (std::int32_t face = 0; face < faces; ++face) {
        for (std::int32_t level = 0; level < a.surface.levels; ++level) {
            ddsswizzle::Placement p{};
            const Status status = ddsswizzle::place(a.surface, a.console, level, face, p);
            if (status != Status::ok) raise_status(status, DDSSWIZZLE_REASON_NONE);
            entries.append(placement_type(p.level, p.face, p.width, p.height, p.depth, p.linear_offset,
                                          p.linear_length, p.console_offset, p.console_length));
        }
    }
    return entries;
}

constexpr const char* surface_doc =
    "The surface is given by keyword: console ('ps3' or 'x360'), format (a DXGI number, or its name\n"
    "without the DXGI_FORMAT_ prefix such as 'BC3_UNORM'), width, height, depth=1 (above 1: a volume),\n"
    "levels=1 and cube=False (True: six faces).";

}  // namespace

PYBIND11_MODULE(ddsswizzle, m) {
    m.doc() =
        "Texture data converted between the linear layout of a desktop DDS texture and the swizzled or\n"
        "tiled layout of the PS3 and the Xbox 360: whole DDS files in memory (convert_dds) or raw\n"
        "payloads (swizzle, unswizzle). A texture the console cannot hold is refused with a subclass\n"
        "of ddsswizzle.Error whose text is the ddsswizzle tool's message; a wrong argument is\n"
        "ValueError. The GIL is released while a conversion runs.";
    m.attr("__version__") = std::string(ddsswizzle::version());
    // Each docstring begins with its own signature, as the built-in modules'
    // do, rather than pybind11's with C++ type names.
    py::options options;
    options.disable_function_signatures();

    // Error and its subclasses, named after the tool's messages.
    const py::object base = py::reinterpret_steal<py::object>(
        PyErr_NewExceptionWithDoc("ddsswizzle.Error", "A texture refused; str() is the ddsswizzle tool's message, "
                                                      "`reason` says why (or is None).",
                                  PyExc_Exception, nullptr));
    if (!base) throw py::error_already_set();
    base.attr("reason") = py::none();
    m.attr("Error") = base;
    error_types[0] = base.ptr();
    constexpr std::array<const char*, 5> names = {"NotADdsTexture", "UnknownFormat", "UnsupportedTextureType",
                                                  "UnsupportedSize", "TruncatedData"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string qualified = std::string("ddsswizzle.") + names[i];
        PyObject* type = PyErr_NewException(qualified.c_str(), base.ptr(), nullptr);
        if (type == nullptr) throw py::error_already_set();
        m.attr(names[i]) = py::reinterpret_steal<py::object>(type);
        error_types[i + 1] = type;
    }
    // The module keeps one reference of each; these keep the rest alive for
    // as long as the process, so raise_status can always reach them.
    for (PyObject* type : error_types) Py_INCREF(type);

    const py::object placement = py::module_::import("collections").attr("namedtuple")(
        "Placement", py::make_tuple("level", "face", "width", "height", "depth", "linear_offset", "linear_length",
                                    "console_offset", "console_length"));
    placement.attr("__module__") = "ddsswizzle";
    m.attr("Placement") = placement;

    m.def("convert_dds", &convert_dds, py::arg("data"), py::arg("mode"), py::arg("console") = "ps3",
          "convert_dds(data, mode, console='ps3') -> bytes\n\n"
          "A whole DDS file in memory converted: mode 'swiz' (linear to console) or 'unswiz'; the\n"
          "bytes the ddsswizzle tool would write to the file.");

    for (const auto& [name, direction] : {std::pair{"swizzle", Direction::swizzle},
                                          std::pair{"unswizzle", Direction::unswizzle}}) {
        const Direction way = direction;
        const std::string doc =
            std::string(name) + "(payload, *, console, format, width, height, depth=1, levels=1, cube=False, " +
            "out=None) -> bytes or out\n\n" +
            (way == Direction::swizzle ? "A raw linear payload converted to the console's layout."
                                       : "A raw console payload converted back to the linear layout.") +
            "\nThe payload must hold at least the input size (bytes beyond it are ignored). With out, a\n"
            "writable buffer of exactly the output size, the result is written there and out returned.\n" +
            surface_doc;
        m.def(
            name,
            [way](const py::handle& payload, std::string_view console, const py::handle& format, std::int64_t width,
                  std::int64_t height, std::int64_t depth, std::int64_t levels, bool cube, const py::object& out) {
                return convert_payload(way, payload, console, format, width, height, depth, levels, cube, out);
            },
            py::arg("payload"), py::kw_only(), py::arg("console"), py::arg("format"), py::arg("width"),
            py::arg("height"), py::arg("depth") = 1, py::arg("levels") = 1, py::arg("cube") = false,
            py::arg("out") = py::none(), doc.c_str());
    }

    for (const bool linear : {true, false}) {
        const std::string doc = std::string(linear ? "linear_size" : "console_size") +
                                "(*, console, format, width, height, depth=1, levels=1, cube=False) -> int\n\n" +
                                (linear ? "Bytes of the surface in the linear layout (a DDS file's payload)."
                                        : "Bytes of the surface in the console's layout.") +
                                "\n" + surface_doc;
        m.def(
            linear ? "linear_size" : "console_size",
            [linear](std::string_view console, const py::handle& format, std::int64_t width, std::int64_t height,
                     std::int64_t depth, std::int64_t levels, bool cube) {
                const Sizes sizes = sizes_of(surface_of(console, format, width, height, depth, levels, cube));
                return linear ? sizes.linear : sizes.console;
            },
            py::kw_only(), py::arg("console"), py::arg("format"), py::arg("width"), py::arg("height"),
            py::arg("depth") = 1, py::arg("levels") = 1, py::arg("cube") = false, doc.c_str());
    }

    m.def(
        "layout",
        [placement](std::string_view console, const py::handle& format, std::int64_t width, std::int64_t height,
                    std::int64_t depth, std::int64_t levels, bool cube) {
            return layout(placement, console, format, width, height, depth, levels, cube);
        },
        py::kw_only(), py::arg("console"), py::arg("format"), py::arg("width"), py::arg("height"),
        py::arg("depth") = 1, py::arg("levels") = 1, py::arg("cube") = false,
        (std::string("layout(*, console, format, width, height, depth=1, levels=1, cube=False) -> list\n\n"
                     "One Placement (level, face, width, height, depth, linear_offset, linear_length,\n"
                     "console_offset, console_length) per level of each face, face after face. On the\n"
                     "Xbox 360 the levels of the packed mip tail share one console slice.\n") +
         surface_doc)
            .c_str());

    m.def("read_dds", &read_dds, py::arg("data"),
          "read_dds(data) -> (surface, payload_offset)\n\n"
          "The surface a DDS header describes, as a dict of keyword arguments for swizzle, linear_size\n"
          "and the rest (format, width, height, depth, levels, cube), and where the payload starts (128,\n"
          "or 148 with the DX10 extension). Whether a console can hold it is for the conversion to say.");
}
