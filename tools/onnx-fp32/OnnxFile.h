#pragma once

#include <onnx/onnx_pb.h>

#include <stdexcept>
#include <string>

/// A failure of the model tools, with the message they print.
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// The ONNX model in the file at `path`; throws Failure when it cannot be read or parsed.
onnx::ModelProto readModel(const std::string& path);

/// Writes `model` to `path`, replacing it; throws Failure when that fails.
void writeModel(const onnx::ModelProto& model, const std::string& path);
