// onnx-int8: makes an 8-bit network of the float segmentation model, which ONNX Runtime runs in
// integer convolutions, about two thirds faster on processors without 8-bit dot products.
//
//   onnx-int8 calibrate FLOAT.onnx SIZE RANGES.txt PHOTO...
//       measures the ranges of the network's tensors on the photos and writes them
//   onnx-int8 quantise FLOAT.onnx RANGES.txt OUT.onnx
//       writes the quantised network (QuantizeLinear/DequantizeLinear pairs, 8-bit weights)
//
// The ranges come from photos and go into the repository; quantising needs only them and the
// float model, and gives the same file on every machine. The result is checked with the ONNX
// checker before it is written. Exit code 0 on success, 1 on any failure (with a message on
// stderr), 2 on bad arguments.

#include "Calibrate.h"
#include "OnnxFile.h"
#include "Quantise.h"

#include <onnx/checker.h>

#include <cstdio>
#include <cstdlib>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: onnx-int8 calibrate FLOAT.onnx SIZE RANGES.txt PHOTO...\n"
                         "       onnx-int8 quantise FLOAT.onnx RANGES.txt OUT.onnx\n");
    return 2;
}

int run(const std::vector<std::string>& args)
{
    if (args.size() >= 5 && args[0] == "calibrate") {
        const int size = std::atoi(args[2].c_str());
        if (size <= 0)
            return usage();
        const onnx::ModelProto model = readModel(args[1]);
        const std::vector<std::string> photos(args.begin() + 4, args.end());
        const TensorRanges ranges = calibrate(model, size, photos);
        std::string header = "Ranges of the segmentation network's tensors (low high name), written by\n"
                             "`onnx-int8 calibrate` at "
                             + args[2] + " x " + args[2] + " from these " + std::to_string(photos.size())
                             + " photos:";
        for (std::size_t i = 0; i < photos.size(); ++i)
            header += (i % 4 == 0 ? "\n  " : " ") + photos[i].substr(photos[i].find_last_of('/') + 1);
        writeRanges(ranges, calibratedTensors(model.graph()), header, args[3]);
        std::printf("onnx-int8: %zu ranges written to %s\n", ranges.size(), args[3].c_str());
        return 0;
    }
    if (args.size() == 4 && args[0] == "quantise") {
        onnx::ModelProto model = readModel(args[1]);
        const QuantiseCounts counts = quantise(model, readRanges(args[2]));
        onnx::checker::check_model(model);
        writeModel(model, args[3]);
        std::printf("onnx-int8: %d tensors and %d convolutions quantised\n", counts.tensors, counts.convolutions);
        return 0;
    }
    return usage();
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "onnx-int8: %s\n", e.what());
        return 1;
    }
}
