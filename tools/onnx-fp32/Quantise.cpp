#include "Quantise.h"

#include "OnnxFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>

using onnx::NodeProto;
using onnx::TensorProto;

TensorRanges readRanges(const std::string& path)
{
    std::ifstream in(path);
    if (!in)
        throw Failure("cannot read " + path);
    TensorRanges ranges;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.empty() || line.front() == '#')
            continue;
        std::istringstream fields(line);
        TensorRange range;
        std::string name;
        if (!(fields >> range.low >> range.high >> name) || !(range.low <= range.high))
            throw Failure(path + ":" + std::to_string(number) + ": expected \"low high name\"");
        ranges[name] = range;
    }
    return ranges;
}

void writeRanges(const TensorRanges& ranges, const std::vector<std::string>& order, const std::string& header,
                 const std::string& path)
{
    std::ofstream out(path, std::ios::trunc);
    std::istringstream lines(header);
    for (std::string line; std::getline(lines, line);)
        out << "# " << line << '\n';
    out.precision(9);
    for (const std::string& name : order)
        if (const auto it = ranges.find(name); it != ranges.end())
            out << it->second.low << ' ' << it->second.high << ' ' << name << '\n';
    if (!out.flush())
        throw Failure("cannot write " + path);
}

Uint8Quantisation uint8Quantisation(TensorRange range)
{
    const double low = std::min(double(range.low), 0.0);
    const double high = std::max(double(range.high), 0.0);
    if (high - low <= 0)
        return {};
    const double scale = (high - low) / 255.0;
    const double zero = std::clamp(std::nearbyint(-low / scale), 0.0, 255.0);
    return {float(scale), std::uint8_t(zero)};
}

ChannelWeights quantiseWeights(const std::vector<float>& weights, std::size_t channels)
{
    if (channels == 0 || weights.size() % channels != 0)
        throw Failure("weights do not divide into their channels");
    const std::size_t perChannel = weights.size() / channels;
    ChannelWeights out{std::vector<std::int8_t>(weights.size()), std::vector<float>(channels)};
    for (std::size_t c = 0; c < channels; ++c) {
        const float* w = weights.data() + c * perChannel;
        float largest = 0;
        for (std::size_t i = 0; i < perChannel; ++i)
            largest = std::max(largest, std::abs(w[i]));
        const float scale = largest > 0 ? largest / 127.0f : 1.0f;
        out.scales[c] = scale;
        for (std::size_t i = 0; i < perChannel; ++i)
            out.values[c * perChannel + i] = std::int8_t(std::clamp(std::nearbyint(w[i] / scale), -127.0f, 127.0f));
    }
    return out;
}

std::vector<std::string> calibratedTensors(const onnx::GraphProto& graph)
{
    std::vector<std::string> tensors;
    std::set<std::string> seen;
    const auto add = [&](const std::string& name) {
        if (!name.empty() && seen.insert(name).second)
            tensors.push_back(name);
    };
    for (const NodeProto& node : graph.node()) {
        if (!node.domain().empty())
            continue;
        if (node.op_type() == "Conv" && node.input_size() >= 2)
            add(node.input(0));
        else if (node.op_type() == "Relu" && node.output_size() == 1)
            add(node.output(0));
    }
    return tensors;
}

namespace {

std::vector<float> floatValues(const TensorProto& tensor)
{
    if (tensor.data_type() != TensorProto::FLOAT || tensor.data_location() == TensorProto::EXTERNAL)
        throw Failure("expected float weights in " + tensor.name());
    if (!tensor.raw_data().empty()) {
        std::vector<float> values(tensor.raw_data().size() / sizeof(float));
        std::memcpy(values.data(), tensor.raw_data().data(), values.size() * sizeof(float));
        return values;
    }
    return {tensor.float_data().begin(), tensor.float_data().end()};
}

template <typename T>
TensorProto tensorOf(const std::string& name, int type, const std::vector<T>& values,
                     const std::vector<std::int64_t>& dims)
{
    TensorProto tensor;
    tensor.set_name(name);
    tensor.set_data_type(type);
    for (const std::int64_t d : dims)
        tensor.add_dims(d);
    tensor.set_raw_data(std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T)));
    return tensor;
}

NodeProto nodeOf(const std::string& type, const std::vector<std::string>& inputs, const std::string& output)
{
    NodeProto node;
    node.set_op_type(type);
    node.set_name(output + "_node");
    for (const std::string& input : inputs)
        node.add_input(input);
    node.add_output(output);
    return node;
}

NodeProto perChannel(NodeProto node)
{
    auto* axis = node.add_attribute();
    axis->set_name("axis");
    axis->set_type(onnx::AttributeProto::INT);
    axis->set_i(0);
    return node;
}

std::int64_t defaultOpset(const onnx::ModelProto& model)
{
    for (const auto& opset : model.opset_import())
        if (opset.domain().empty() || opset.domain() == "ai.onnx")
            return opset.version();
    return 0;
}

} // namespace

QuantiseCounts quantise(onnx::ModelProto& model, const TensorRanges& ranges)
{
    if (defaultOpset(model) < 13) // per-channel DequantizeLinear
        throw Failure("the model's opset is below 13");
    onnx::GraphProto& graph = *model.mutable_graph();
    std::map<std::string, const TensorProto*> initializers;
    for (const TensorProto& tensor : graph.initializer())
        initializers[tensor.name()] = &tensor;

    QuantiseCounts counts;
    std::vector<TensorProto> added;
    std::vector<NodeProto> nodes;
    std::map<std::string, std::string> dequantised; // float tensor → its dequantised copy
    std::map<std::string, float> scales;
    std::set<std::string> quantiseNodes;
    const auto pairAfter = [&](const std::string& tensor) {
        const auto range = ranges.find(tensor);
        if (range == ranges.end() || dequantised.contains(tensor))
            return;
        const Uint8Quantisation q = uint8Quantisation(range->second);
        const std::string scale = tensor + "_scale", zero = tensor + "_zero_point";
        added.push_back(tensorOf(scale, TensorProto::FLOAT, std::vector<float>{q.scale}, {}));
        added.push_back(tensorOf(zero, TensorProto::UINT8, std::vector<std::uint8_t>{q.zeroPoint}, {}));
        nodes.push_back(nodeOf("QuantizeLinear", {tensor, scale, zero}, tensor + "_quantised"));
        quantiseNodes.insert(nodes.back().name());
        nodes.push_back(nodeOf("DequantizeLinear", {tensor + "_quantised", scale, zero}, tensor + "_dequantised"));
        dequantised[tensor] = tensor + "_dequantised";
        scales[tensor] = q.scale;
        ++counts.tensors;
    };

    for (const auto& input : graph.input())
        pairAfter(input.name());
    std::set<std::string> weightsDone;
    for (const NodeProto& original : graph.node()) {
        NodeProto node = original;
        const auto weights = node.input_size() >= 2 ? initializers.find(node.input(1)) : initializers.end();
        if (node.op_type() == "Conv" && node.domain().empty() && scales.contains(node.input(0))
            && weights != initializers.end() && weights->second->dims_size() == 4) {
            const TensorProto& w = *weights->second;
            const auto channels = std::size_t(w.dims(0));
            const ChannelWeights q = quantiseWeights(floatValues(w), channels);
            const std::string name = node.name().empty() ? node.output(0) : node.name();
            const std::string values = name + "_weights_int8", wScale = name + "_weights_scale";
            const std::string wZero = name + "_weights_zero_point";
            added.push_back(tensorOf(values, TensorProto::INT8, q.values, {w.dims().begin(), w.dims().end()}));
            added.push_back(tensorOf(wScale, TensorProto::FLOAT, q.scales, {std::int64_t(channels)}));
            added.push_back(tensorOf(wZero, TensorProto::INT8, std::vector<std::int8_t>(channels), {std::int64_t(channels)}));
            nodes.push_back(perChannel(nodeOf("DequantizeLinear", {values, wScale, wZero}, name + "_weights")));
            node.set_input(1, name + "_weights");
            if (node.input_size() >= 3 && !node.input(2).empty()) {
                const auto bias = initializers.find(node.input(2));
                if (bias == initializers.end())
                    throw Failure("the bias of " + name + " is not a constant");
                const std::vector<float> b = floatValues(*bias->second);
                if (b.size() != channels)
                    throw Failure("the bias of " + name + " does not match its channels");
                std::vector<std::int32_t> bq(channels);
                std::vector<float> bScales(channels);
                for (std::size_t c = 0; c < channels; ++c) {
                    bScales[c] = scales.at(node.input(0)) * q.scales[c];
                    const double v = std::nearbyint(double(b[c]) / double(bScales[c]));
                    if (!(std::abs(v) <= double(std::numeric_limits<std::int32_t>::max())))
                        throw Failure("the bias of " + name + " does not fit 32 bits");
                    bq[c] = std::int32_t(v);
                }
                const std::string bValues = name + "_bias_int32", bScale = name + "_bias_scale";
                const std::string bZero = name + "_bias_zero_point";
                added.push_back(tensorOf(bValues, TensorProto::INT32, bq, {std::int64_t(channels)}));
                added.push_back(tensorOf(bScale, TensorProto::FLOAT, bScales, {std::int64_t(channels)}));
                added.push_back(
                    tensorOf(bZero, TensorProto::INT32, std::vector<std::int32_t>(channels), {std::int64_t(channels)}));
                nodes.push_back(perChannel(nodeOf("DequantizeLinear", {bValues, bScale, bZero}, name + "_bias")));
                node.set_input(2, name + "_bias");
            }
            ++counts.convolutions;
        }
        nodes.push_back(std::move(node));
        for (const std::string& output : original.output())
            pairAfter(output);
    }
    // Every consumer but the quantiser reads the dequantised copy.
    std::set<std::string> used;
    for (NodeProto& node : nodes) {
        if (!quantiseNodes.contains(node.name()))
            for (int i = 0; i < node.input_size(); ++i)
                if (const auto it = dequantised.find(node.input(i)); it != dequantised.end())
                    node.set_input(i, it->second);
        for (const std::string& input : node.input())
            used.insert(input);
    }
    graph.clear_node();
    for (NodeProto& node : nodes)
        *graph.add_node() = std::move(node);
    std::vector<TensorProto> kept;
    for (const TensorProto& tensor : graph.initializer())
        if (used.contains(tensor.name()))
            kept.push_back(tensor);
    graph.clear_initializer();
    for (auto* list : {&kept, &added})
        for (TensorProto& tensor : *list)
            *graph.add_initializer() = std::move(tensor);
    return counts;
}
