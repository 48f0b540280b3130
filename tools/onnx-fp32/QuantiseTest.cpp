// Checks the quantiser on a small network: input → Conv → Relu → Conv, with one weight channel
// of zeros and one whose bias is too large for the 32-bit form.
#include "OnnxFile.h"
#include "Quantise.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>

namespace {

int failures = 0;

void expect(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "quantise-selftest: %s\n", what);
        ++failures;
    }
}

onnx::TensorProto floats(const std::string& name, const std::vector<float>& values, std::vector<std::int64_t> dims)
{
    onnx::TensorProto tensor;
    tensor.set_name(name);
    tensor.set_data_type(onnx::TensorProto::FLOAT);
    for (const auto d : dims)
        tensor.add_dims(d);
    for (const float v : values)
        tensor.add_float_data(v);
    return tensor;
}

void addNode(onnx::GraphProto& graph, const char* type, std::vector<std::string> inputs, const std::string& output)
{
    auto* node = graph.add_node();
    node->set_op_type(type);
    node->set_name(output);
    for (const auto& input : inputs)
        node->add_input(input);
    node->add_output(output);
}

onnx::ModelProto network(float secondBias)
{
    onnx::ModelProto model;
    model.add_opset_import()->set_version(15);
    auto& graph = *model.mutable_graph();
    graph.add_input()->set_name("input");
    graph.add_output()->set_name("output");
    // Channel 1 of the first convolution is all zeros.
    *graph.add_initializer() = floats("w1", {0.5f, -0.25f, 0, 0, 0.01f, 0.02f}, {3, 2, 1, 1});
    *graph.add_initializer() = floats("b1", {0.1f, 0.2f, -0.3f}, {3});
    *graph.add_initializer() = floats("w2", {1.0f, -2.0f, 0.5f}, {1, 3, 1, 1});
    *graph.add_initializer() = floats("b2", {secondBias}, {1});
    addNode(graph, "Conv", {"input", "w1", "b1"}, "conv1");
    addNode(graph, "Relu", {"conv1"}, "relu1");
    addNode(graph, "Conv", {"relu1", "w2", "b2"}, "output");
    return model;
}

const onnx::TensorProto* initializer(const onnx::GraphProto& graph, const std::string& name)
{
    for (const auto& tensor : graph.initializer())
        if (tensor.name() == name)
            return &tensor;
    return nullptr;
}

template <typename T>
std::vector<T> raw(const onnx::TensorProto& tensor)
{
    std::vector<T> values(tensor.raw_data().size() / sizeof(T));
    std::memcpy(values.data(), tensor.raw_data().data(), tensor.raw_data().size());
    return values;
}

} // namespace

int main()
{
    // The input's range holds 8-bit pixels as (v − 128) / 256 exactly; a ReLU's range starts at 0.
    const Uint8Quantisation pixels = uint8Quantisation({-0.5f, 127.0f / 256.0f});
    expect(pixels.scale == 1.0f / 256.0f && pixels.zeroPoint == 128, "pixels do not quantise exactly");
    expect(uint8Quantisation({0.0f, 2.0f}).zeroPoint == 0, "a ReLU's zero point is not 0");
    expect(uint8Quantisation({0.5f, 2.0f}).zeroPoint == 0, "a positive range does not hold 0");

    const TensorRanges ranges{{"input", {-0.5f, 127.0f / 256.0f}}, {"relu1", {0.0f, 2.0f}}};
    onnx::ModelProto model = network(0.4f);
    const QuantiseCounts counts = quantise(model, ranges);
    expect(counts.tensors == 2 && counts.convolutions == 2, "not every tensor and convolution quantised");
    const auto& graph = model.graph();

    // Every node reads only what the input, the initializers or an earlier node provide; only
    // the quantisers read float activations.
    std::set<std::string> known{"input"};
    for (const auto& tensor : graph.initializer())
        known.insert(tensor.name());
    for (const auto& node : graph.node()) {
        for (const auto& input : node.input()) {
            expect(known.contains(input), "a node reads a value before it is made");
            if (node.op_type() != "QuantizeLinear")
                expect(input != "input" && input != "relu1", "a consumer reads the float activation");
        }
        known.insert(node.output(0));
    }
    expect(!initializer(graph, "w1") && !initializer(graph, "b1"), "float weights are left behind");

    // Weights: one scale per output channel, the largest weight at 127, the zero channel exact.
    const auto w = raw<std::int8_t>(*initializer(graph, "conv1_weights_int8"));
    const auto ws = raw<float>(*initializer(graph, "conv1_weights_scale"));
    expect(w.size() == 6 && ws.size() == 3, "weights of the wrong size");
    if (w.size() == 6 && ws.size() == 3) {
        expect(w[0] == 127 && w[1] == -64 && w[2] == 0 && w[3] == 0 && w[5] == 127, "weights not scaled per channel");
        expect(ws[1] == 1.0f && std::abs(ws[0] - 0.5f / 127) < 1e-9f, "weight scales wrong");
        // Bias in the scale of input × weight.
        const auto b = raw<std::int32_t>(*initializer(graph, "conv1_bias_int32"));
        expect(b.size() == 3 && b[0] == std::lround(0.1 / (1.0 / 256 * ws[0])), "bias not in input × weight scale");
    }

    // A bias that 32 bits cannot hold in that scale is refused, not wrapped.
    onnx::ModelProto huge = network(1e9f);
    bool refused = false;
    try {
        quantise(huge, ranges);
    } catch (const Failure&) {
        refused = true;
    }
    expect(refused, "a bias beyond 32 bits was accepted");
    return failures == 0 ? 0 : 1;
}
