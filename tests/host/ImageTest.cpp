#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <lumo/Errors.h>
#include <lumo/Image.h>
#include <lumo/Platform.h>

#include "common/Exceptions.h"
#include "host/ByteData.h"
#include "host/DataStream.h"
#include "host/Image.h"
#include "host/JpegDecoder.h"
#include "host/JpegWriter.h"

using namespace LumoApi;

namespace {

constexpr uint32_t c_Accept = ~0u;

// An image module's API that records what it is asked; a refusal sets its last error.
class FakeImage : public RefCounted<ImageApi> {
public:
    int32_t LUMO_CALL SetSize(int32_t width, int32_t height) override
    {
        calls.push_back("SetSize " + std::to_string(width) + " " + std::to_string(height));
        return Answer(sizeError);
    }
    int32_t LUMO_CALL SetOption(uint32_t option) override
    {
        calls.push_back("SetOption " + std::to_string(option));
        return Answer(optionError);
    }
    int32_t LUMO_CALL GetWidth() override { return 0; }
    int32_t LUMO_CALL GetHeight() override { return 0; }
    DataApi* LUMO_CALL GetData(const char* contentType) override
    {
        calls.push_back(std::string("GetData ") + contentType);
        return Answer(dataError) ? new ByteData(jpeg) : nullptr;
    }

    std::vector<std::string> calls;
    uint32_t sizeError = c_Accept, optionError = c_Accept, dataError = c_Accept;
    std::vector<uint8_t> jpeg = SolidJpeg(40, 30, 10, 200, 60);

private:
    static int32_t Answer(uint32_t error)
    {
        if (error == c_Accept)
            return 1;
        LumoSetLastError(error);
        return 0;
    }
};

class LoadPictureTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        EXPECT_EQ(DataStream::OpenCount(), m_openBefore);
        EXPECT_EQ(ByteData::s_alive, m_aliveBefore);
    }

    uint32_t LoadError(int32_t width, int32_t height, uint32_t option = 0)
    {
        try {
            LoadPicture(*m_image, "mem://photo.jpg", width, height, option);
            return 0;
        } catch (const WinErrorException& error) {
            return error.ErrorCode();
        }
    }

    ApiRef<FakeImage> m_image = ApiRef<FakeImage>::Adopt(new FakeImage);
    const int32_t m_openBefore = DataStream::OpenCount();
    const int m_aliveBefore = ByteData::s_alive;
};

using Calls = std::vector<std::string>;

} // namespace

TEST_F(LoadPictureTest, AsksForSizeAndOptionOnlyWhenGiven)
{
    static std::vector<std::string> logged;
    DataStream::SetLogSink([](int32_t, const char*, const char* text) { logged.emplace_back(text); });
    const QImage picture = LoadPicture(*m_image, "file:///cat.jpg", 0, 0, 0);
    DataStream::SetLogSink(nullptr);
    EXPECT_EQ(m_image->calls, Calls{"GetData image/jpeg"});
    EXPECT_EQ(logged, Calls({"Stream opened (file:///cat.jpg)", "Stream closed"}));
    ASSERT_EQ(picture.size(), QSize(40, 30));
    const QColor centre = picture.pixelColor(20, 15);
    EXPECT_NEAR(centre.green(), 200, 10);
    EXPECT_NEAR(centre.blue(), 60, 10);

    m_image->calls.clear();
    LoadPicture(*m_image, "", 160, 0, 5);
    EXPECT_EQ(m_image->calls, Calls({"SetSize 160 0", "SetOption 5", "GetData image/jpeg"}));
}

TEST_F(LoadPictureTest, NegativeSizesAreRefusedBeforeAskingTheModule)
{
    for (auto [width, height] : {std::pair{-1, 0}, std::pair{0, -1}, std::pair{-5, 10}, std::pair{10, -5}})
        EXPECT_EQ(LoadError(width, height), ERROR_INVALID_PARAMETER) << width << " x " << height;
    EXPECT_TRUE(m_image->calls.empty());
}

TEST_F(LoadPictureTest, ARefusalRaisesTheModulesError)
{
    m_image->sizeError = ERROR_NOT_FOUND;
    EXPECT_EQ(LoadError(10, 10), ERROR_NOT_FOUND);
    m_image->sizeError = c_Accept;
    m_image->optionError = ERROR_INVALID_FUNCTION;
    EXPECT_EQ(LoadError(10, 10, 3), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(m_image->calls, Calls({"SetSize 10 10", "SetSize 10 10", "SetOption 3"}));
    m_image->dataError = ERROR_UNSUPPORTED_TYPE;
    EXPECT_EQ(LoadError(0, 0), ERROR_UNSUPPORTED_TYPE);
    m_image->dataError = ERROR_SUCCESS; // failed without saying why
    EXPECT_EQ(LoadError(0, 0), ERROR_INTERNAL_ERROR);
}

TEST_F(LoadPictureTest, AJpegCutShortFailsWithInvalidData)
{
    m_image->jpeg.resize(m_image->jpeg.size() - 1);
    EXPECT_EQ(LoadError(0, 0), ERROR_INVALID_DATA);
}
