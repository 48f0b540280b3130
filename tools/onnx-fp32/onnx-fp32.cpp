// onnx-fp32: rewrites a half-precision ONNX model so that OpenCV 4.6's importer can run it.
//
//   onnx-fp32 IN.onnx OUT.onnx [--input-size N]
//
// 1. Every float16 tensor (initializers, Constant values) becomes float32 and every float16
//    type annotation becomes float32.
// 2. Cast nodes that now turn float into float are removed (their consumers read the Cast's
//    input directly); Casts to float16 from other types cast to float32 instead.
// 3. Only the graph's first output is kept, and nodes and initializers it does not need are
//    dropped: the side outputs of salient-object networks cost a full-size resize each.
// 4. With --input-size, the square spatial input size becomes N: the fixed Resize targets
//    (constant spatial sizes feeding a Resize's "sizes") are scaled by N / old size, which must
//    divide exactly, and the stale shape annotations are cleared.
// The result is checked with the ONNX checker before it is written. Exit code 0 on success,
// 1 on any failure (with a message on stderr), 2 on bad arguments.

#include "Fp16.h"
#include "OnnxFile.h"

#include <onnx/checker.h>
#include <onnx/onnx_pb.h>
#include <onnx/shape_inference/implementation.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using onnx::GraphProto;
using onnx::NodeProto;
using onnx::TensorProto;

// ---- 1. float16 → float32 -------------------------------------------------------------------

// Returns true when the tensor was float16 and is now float32 (stored as raw little-endian data).
bool tensorToFloat(TensorProto& tensor)
{
    if (tensor.data_type() != TensorProto::FLOAT16)
        return false;
    if (tensor.data_location() == TensorProto::EXTERNAL)
        throw Failure("external tensor data is not supported: " + tensor.name());
    std::vector<std::uint16_t> halves;
    if (!tensor.raw_data().empty()) {
        const std::string& raw = tensor.raw_data();
        halves.resize(raw.size() / 2);
        std::memcpy(halves.data(), raw.data(), halves.size() * 2);
    } else {
        // Without raw data, float16 values sit one per int32 field.
        for (const auto value : tensor.int32_data())
            halves.push_back(std::uint16_t(value));
    }
    std::string floats(halves.size() * sizeof(float), '\0');
    for (std::size_t i = 0; i < halves.size(); ++i) {
        const float value = halfToFloat(halves[i]);
        std::memcpy(floats.data() + i * sizeof(float), &value, sizeof value);
    }
    tensor.clear_int32_data();
    tensor.set_raw_data(std::move(floats));
    tensor.set_data_type(TensorProto::FLOAT);
    return true;
}

void valueInfoToFloat(onnx::ValueInfoProto& info)
{
    auto* tensorType = info.mutable_type()->mutable_tensor_type();
    if (tensorType->elem_type() == TensorProto::FLOAT16)
        tensorType->set_elem_type(TensorProto::FLOAT);
}

int graphToFloat(GraphProto& graph)
{
    int converted = 0;
    for (auto& tensor : *graph.mutable_initializer())
        converted += tensorToFloat(tensor);
    for (auto& node : *graph.mutable_node()) {
        for (auto& attribute : *node.mutable_attribute()) {
            if (attribute.has_g() || attribute.graphs_size() > 0)
                throw Failure("subgraphs are not supported (node " + node.name() + ")");
            if (attribute.has_t())
                converted += tensorToFloat(*attribute.mutable_t());
            for (auto& tensor : *attribute.mutable_tensors())
                converted += tensorToFloat(tensor);
            if (node.op_type() == "Cast" && attribute.name() == "to" && attribute.i() == TensorProto::FLOAT16)
                attribute.set_i(TensorProto::FLOAT);
        }
    }
    for (auto* infos : {graph.mutable_input(), graph.mutable_output(), graph.mutable_value_info()})
        for (auto& info : *infos)
            valueInfoToFloat(info);
    return converted;
}

// ---- 2. Casts that became no-ops -----------------------------------------------------------

std::map<std::string, int> knownElementTypes(const GraphProto& graph)
{
    std::map<std::string, int> types;
    for (const auto* infos : {&graph.input(), &graph.output(), &graph.value_info()})
        for (const auto& info : *infos)
            if (info.type().tensor_type().elem_type() != 0)
                types[info.name()] = info.type().tensor_type().elem_type();
    for (const auto& tensor : graph.initializer())
        types[tensor.name()] = tensor.data_type();
    return types;
}

bool isGraphOutput(const GraphProto& graph, const std::string& name)
{
    for (const auto& output : graph.output())
        if (output.name() == name)
            return true;
    return false;
}

bool isGraphInput(const GraphProto& graph, const std::string& name)
{
    for (const auto& input : graph.input())
        if (input.name() == name)
            return true;
    return false;
}

void renameValue(GraphProto& graph, const std::string& from, const std::string& to)
{
    for (auto& node : *graph.mutable_node()) {
        for (auto& input : *node.mutable_input())
            if (input == from)
                input = to;
        for (auto& output : *node.mutable_output())
            if (output == from)
                output = to;
    }
}

std::int64_t castTarget(const NodeProto& node)
{
    for (const auto& attribute : node.attribute())
        if (attribute.name() == "to")
            return attribute.i();
    return 0;
}

int removeFloatCasts(GraphProto& graph)
{
    const auto types = knownElementTypes(graph);
    int removed = 0;
    for (int i = 0; i < graph.node_size();) {
        const NodeProto& node = graph.node(i);
        if (node.op_type() != "Cast" || castTarget(node) != TensorProto::FLOAT) {
            ++i;
            continue;
        }
        const std::string in = node.input(0), out = node.output(0);
        const auto type = types.find(in);
        const bool floatToFloat = type != types.end() && type->second == TensorProto::FLOAT;
        if (!floatToFloat || (isGraphInput(graph, in) && isGraphOutput(graph, out))) {
            ++i;
            continue;
        }
        graph.mutable_node()->DeleteSubrange(i, 1);
        // A graph output keeps its name: the value feeding the Cast takes it over.
        if (isGraphOutput(graph, out))
            renameValue(graph, in, out);
        else
            renameValue(graph, out, in);
        ++removed;
    }
    return removed;
}

// ---- 3. Keep the first output only ---------------------------------------------------------

int pruneToFirstOutput(GraphProto& graph)
{
    if (graph.output_size() == 0)
        throw Failure("the model has no output");
    graph.mutable_output()->DeleteSubrange(1, graph.output_size() - 1);
    std::set<std::string> needed{graph.output(0).name()};
    std::vector<bool> keep(std::size_t(graph.node_size()), false);
    for (int i = graph.node_size() - 1; i >= 0; --i) {
        const NodeProto& node = graph.node(i);
        for (const auto& output : node.output())
            if (needed.contains(output))
                keep[std::size_t(i)] = true;
        if (keep[std::size_t(i)])
            for (const auto& input : node.input())
                needed.insert(input);
    }
    GraphProto pruned;
    int dropped = 0;
    for (int i = 0; i < graph.node_size(); ++i) {
        if (keep[std::size_t(i)])
            *pruned.add_node() = graph.node(i);
        else
            ++dropped;
    }
    graph.mutable_node()->Swap(pruned.mutable_node());
    auto* initializers = graph.mutable_initializer();
    for (int i = initializers->size() - 1; i >= 0; --i)
        if (!needed.contains(initializers->Get(i).name()))
            initializers->DeleteSubrange(i, 1);
    return dropped;
}

// ---- 4. New input size ---------------------------------------------------------------------

std::vector<std::int64_t> int64Values(const TensorProto& tensor)
{
    std::vector<std::int64_t> values(tensor.int64_data().begin(), tensor.int64_data().end());
    if (!tensor.raw_data().empty()) {
        values.resize(tensor.raw_data().size() / sizeof(std::int64_t));
        std::memcpy(values.data(), tensor.raw_data().data(), values.size() * sizeof(std::int64_t));
    }
    return values;
}

void setInt64Values(TensorProto& tensor, const std::vector<std::int64_t>& values)
{
    tensor.clear_int64_data();
    tensor.set_raw_data(std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(std::int64_t)));
}

std::int64_t scaledSize(std::int64_t value, std::int64_t from, std::int64_t to)
{
    if ((value * to) % from != 0)
        throw Failure("Resize target " + std::to_string(value) + " does not scale exactly from " +
                      std::to_string(from) + " to " + std::to_string(to));
    return value * to / from;
}

// The constant spatial part of each Resize's "sizes": either a Constant node with the full
// sizes (the last two values are spatial) or a Concat of the runtime batch and channel count
// with a Constant holding the spatial sizes.
int rescaleResizeTargets(GraphProto& graph, std::int64_t from, std::int64_t to)
{
    std::map<std::string, NodeProto*> producers;
    std::map<std::string, int> consumers;
    for (auto& node : *graph.mutable_node()) {
        for (const auto& output : node.output())
            producers[output] = &node;
        for (const auto& input : node.input())
            ++consumers[input];
    }
    auto scaleConstant = [&](NodeProto* constant, std::size_t firstSpatial) {
        if (consumers[constant->output(0)] != 1)
            throw Failure("Resize target constant " + constant->output(0) + " is shared");
        TensorProto& tensor = *constant->mutable_attribute(0)->mutable_t();
        auto values = int64Values(tensor);
        for (std::size_t k = firstSpatial; k < values.size(); ++k)
            values[k] = scaledSize(values[k], from, to);
        setInt64Values(tensor, values);
    };
    int scaled = 0;
    for (const auto& node : graph.node()) {
        if (node.op_type() != "Resize" || node.input_size() < 4 || node.input(3).empty())
            continue;
        NodeProto* sizes = producers[node.input(3)];
        if (sizes && sizes->op_type() == "Constant") {
            scaleConstant(sizes, 2);
        } else if (sizes && sizes->op_type() == "Concat") {
            for (const auto& part : sizes->input())
                if (NodeProto* constant = producers[part]; constant && constant->op_type() == "Constant")
                    scaleConstant(constant, 0);
        } else {
            throw Failure("Resize " + node.name() + " has sizes of an unknown form");
        }
        ++scaled;
    }
    return scaled;
}

void setSquareSize(onnx::ValueInfoProto& info, std::int64_t size)
{
    auto* shape = info.mutable_type()->mutable_tensor_type()->mutable_shape();
    if (shape->dim_size() != 4)
        throw Failure("expected a 4-dimensional tensor: " + info.name());
    shape->mutable_dim(2)->set_dim_value(size);
    shape->mutable_dim(3)->set_dim_value(size);
}

std::int64_t inputSize(const GraphProto& graph)
{
    if (graph.input_size() != 1)
        throw Failure("expected exactly one graph input");
    const auto& shape = graph.input(0).type().tensor_type().shape();
    if (shape.dim_size() != 4 || shape.dim(2).dim_value() <= 0 || shape.dim(2).dim_value() != shape.dim(3).dim_value())
        throw Failure("expected a square input of fixed size (N, C, S, S)");
    return shape.dim(2).dim_value();
}

void resizeInput(GraphProto& graph, std::int64_t size)
{
    const std::int64_t from = inputSize(graph);
    const int scaled = rescaleResizeTargets(graph, from, size);
    setSquareSize(*graph.mutable_input(0), size);
    setSquareSize(*graph.mutable_output(0), size);
    graph.clear_value_info();
    std::printf("onnx-fp32: input %lld -> %lld, %d Resize targets scaled\n", static_cast<long long>(from),
                static_cast<long long>(size), scaled);
}

int run(const std::string& inPath, const std::string& outPath, std::int64_t newSize)
{
    onnx::ModelProto model = readModel(inPath);
    // Types of intermediate values decide which Casts are no-ops; shape inference fills them in
    // where the model does not annotate them.
    onnx::shape_inference::InferShapes(model);
    GraphProto& graph = *model.mutable_graph();
    const int tensors = graphToFloat(graph);
    const int casts = removeFloatCasts(graph);
    const int pruned = pruneToFirstOutput(graph);
    std::printf("onnx-fp32: %d tensors float16 -> float32, %d Cast nodes removed, %d unused nodes dropped\n",
                tensors, casts, pruned);
    if (newSize > 0)
        resizeInput(graph, newSize);
    onnx::checker::check_model(model);
    writeModel(model, outPath);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> positional;
    std::int64_t newSize = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--input-size" && i + 1 < argc) {
            newSize = std::atoll(argv[++i]);
            if (newSize <= 0) {
                std::fprintf(stderr, "onnx-fp32: --input-size needs a positive number\n");
                return 2;
            }
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2) {
        std::fprintf(stderr, "usage: onnx-fp32 IN.onnx OUT.onnx [--input-size N]\n");
        return 2;
    }
    try {
        return run(positional[0], positional[1], newSize);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "onnx-fp32: %s\n", e.what());
        return 1;
    }
}
