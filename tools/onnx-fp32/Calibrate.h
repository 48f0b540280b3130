#pragma once

#include "Quantise.h"

/// Runs the float network `model` (square input of `size`) with OpenCV's DNN module on each
/// photo, prepared as the application prepares it: shrunk to the square by area averaging, planes
/// R, G, B, each value (v − 128) / 256. Each calibrated tensor's range is the mean over the
/// photos of its 0.01th and 99.99th percentiles: the rare extremes would stretch the 255 steps.
/// The network's input gets its exact range (8-bit pixels quantise without loss); a signed
/// tensor inside the network is left out and stays float (the first convolution's output:
/// quantised, it cost the masks more accuracy than any other tensor).
TensorRanges calibrate(const onnx::ModelProto& model, int size, const std::vector<std::string>& photos);
