#include "OnnxFile.h"

#include <fstream>

onnx::ModelProto readModel(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    onnx::ModelProto model;
    if (!in || !model.ParseFromIstream(&in))
        throw Failure("cannot read an ONNX model from " + path);
    return model;
}

void writeModel(const onnx::ModelProto& model, const std::string& path)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out || !model.SerializeToOstream(&out) || !out.flush())
        throw Failure("cannot write " + path);
}
