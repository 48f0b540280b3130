#pragma once

#include <onnx/onnx_pb.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

/// The values one tensor of the network takes, as calibration measured them.
struct TensorRange {
    float low = 0;
    float high = 0;
};

/// Tensor name → range. In a file: one "low high name" per line; '#' starts a comment line.
using TensorRanges = std::map<std::string, TensorRange>;

TensorRanges readRanges(const std::string& path);

/// Writes `ranges` in the order of `order` (names without a range are left out), after the
/// comment lines of `header`.
void writeRanges(const TensorRanges& ranges, const std::vector<std::string>& order, const std::string& header,
                 const std::string& path);

/// Unsigned 8-bit quantisation of a range: value = (q − zeroPoint) × scale for q in 0…255. The
/// range is widened to hold 0, which is then exact (ReLU outputs get zero point 0).
struct Uint8Quantisation {
    float scale = 1;
    std::uint8_t zeroPoint = 0;
};

Uint8Quantisation uint8Quantisation(TensorRange range);

/// Signed 8-bit weights with one scale per output channel (the first dimension), symmetric:
/// value = q × scale with q in −127…127. A channel of zeros gets scale 1.
struct ChannelWeights {
    std::vector<std::int8_t> values;
    std::vector<float> scales;
};

ChannelWeights quantiseWeights(const std::vector<float>& weights, std::size_t channels);

/// The tensors calibration measures: each convolution's data input and each ReLU's output, in
/// graph order, each once.
std::vector<std::string> calibratedTensors(const onnx::GraphProto& graph);

struct QuantiseCounts {
    int tensors = 0;
    int convolutions = 0;
};

/// Rewrites `model` as a quantised network in ONNX's QuantizeLinear/DequantizeLinear form:
/// every tensor with a range gets a pair right after its producer (unsigned 8 bit, one scale),
/// and its consumers read the dequantised values; each convolution whose data input is
/// quantised gets its weights as signed 8-bit per-channel initializers and its bias as 32-bit
/// integers in the scale of input × weight, both dequantised in front of it. A runtime fuses
/// such pairs around a convolution into an integer convolution. Throws Failure when the model
/// cannot take it (opset below 13, a bias too large for 32 bits).
QuantiseCounts quantise(onnx::ModelProto& model, const TensorRanges& ranges);
