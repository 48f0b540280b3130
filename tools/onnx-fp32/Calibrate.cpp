#include "Calibrate.h"

#include "OnnxFile.h"

#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdio>

namespace {

constexpr double kLowPercentile = 0.0001, kHighPercentile = 0.9999;

cv::Mat inputBlob(const std::string& path, int size)
{
    const cv::Mat photo = cv::imread(path, cv::IMREAD_COLOR);
    if (photo.empty())
        throw Failure("cannot read the photo " + path);
    cv::Mat square;
    cv::resize(photo, square, cv::Size(size, size), 0, 0, cv::INTER_AREA);
    const int dims[] = {1, 3, size, size};
    cv::Mat blob(4, dims, CV_32F);
    float* planes = blob.ptr<float>();
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const auto& bgr = square.at<cv::Vec3b>(y, x);
            for (int c = 0; c < 3; ++c)
                planes[(c * size + y) * size + x] = (float(bgr[2 - c]) - 128.0f) / 256.0f;
        }
    return blob;
}

float percentile(std::vector<float>& values, double p)
{
    const auto k = std::size_t(p * double(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(k), values.end());
    return values[k];
}

} // namespace

TensorRanges calibrate(const onnx::ModelProto& model, int size, const std::vector<std::string>& photos)
{
    if (photos.empty() || model.graph().input_size() != 1)
        throw Failure("calibration needs photos and a network with one input");
    const std::string input = model.graph().input(0).name();
    std::vector<std::string> tensors = calibratedTensors(model.graph());
    std::erase(tensors, input);

    // Every calibrated tensor becomes an output of the network, so that a run returns it.
    onnx::ModelProto probed = model;
    for (const std::string& name : tensors) {
        auto* output = probed.mutable_graph()->add_output();
        output->set_name(name);
        auto* type = output->mutable_type()->mutable_tensor_type();
        type->set_elem_type(onnx::TensorProto::FLOAT);
        for (const char* dim : {"n", "c", "h", "w"})
            type->mutable_shape()->add_dim()->set_dim_param(dim);
    }
    std::string bytes;
    probed.SerializeToString(&bytes);
    cv::dnn::Net net = cv::dnn::readNetFromONNX(bytes.data(), bytes.size());

    std::vector<double> lows(tensors.size()), highs(tensors.size());
    std::vector<float> values;
    for (const std::string& photo : photos) {
        net.setInput(inputBlob(photo, size), input);
        std::vector<cv::Mat> outputs;
        net.forward(outputs, tensors);
        for (std::size_t i = 0; i < tensors.size(); ++i) {
            const cv::Mat flat = outputs[i].reshape(1, 1);
            values.assign(flat.ptr<float>(), flat.ptr<float>() + flat.total());
            lows[i] += percentile(values, kLowPercentile);
            highs[i] += percentile(values, kHighPercentile);
        }
        std::printf("onnx-int8: %s\n", photo.c_str());
    }
    TensorRanges ranges{{input, {-0.5f, 127.0f / 256.0f}}};
    for (std::size_t i = 0; i < tensors.size(); ++i) {
        const TensorRange range{float(lows[i] / double(photos.size())), float(highs[i] / double(photos.size()))};
        if (range.low >= 0)
            ranges[tensors[i]] = range;
    }
    return ranges;
}
