#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <lumo/ComHelp.h>
#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "host/ByteData.h"
#include "host/ComHelp.h"

using namespace LumoApi;

namespace {

struct Releaser {
    void operator()(IUnknown* object) const { object->Release(); }
};
using StreamPtr = std::unique_ptr<IStream, Releaser>;

ComHelp& Help()
{
    return ComHelp::Instance();
}

// A DataApi over the stream's bytes; the caller keeps its own reference to the stream.
ApiRef<DataApi> DataOn(IStream& stream)
{
    stream.AddRef();
    return ApiRef<DataApi>::Adopt(Help().CreateDataOnStream(&stream));
}

std::string Text(DataApi& data)
{
    return std::string(reinterpret_cast<const char*>(data.GetBytes()), data.GetSize());
}

uint64_t Position(IStream& stream)
{
    uint64_t position = ~0ull;
    EXPECT_EQ(stream.Seek(0, STREAM_SEEK_CUR, &position), S_OK);
    return position;
}

// Answers the standard identifiers only, or, sloppily, every identifier with itself.
class ForeignStream : public IStream {
public:
    explicit ForeignStream(bool answersAll) : m_answersAll(answersAll) { }
    virtual ~ForeignStream() = default;
    HResult LUMO_CALL QueryInterface(const Guid& iid, void** object) override
    {
        if (!m_answersAll && std::memcmp(&iid, &IID_IStream, sizeof iid) != 0) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IStream*>(this);
        AddRef();
        return S_OK;
    }
    uint32_t LUMO_CALL AddRef() override { return ++m_refCount; }
    uint32_t LUMO_CALL Release() override { return --m_refCount; }
    HResult LUMO_CALL Read(void*, uint32_t, uint32_t*) override { return S_OK; }
    HResult LUMO_CALL Write(const void*, uint32_t, uint32_t*) override { return S_OK; }
    HResult LUMO_CALL Seek(int64_t, uint32_t, uint64_t*) override { return S_OK; }
    HResult LUMO_CALL SetSize(uint64_t) override { return S_OK; }
    HResult LUMO_CALL CopyTo(IStream*, uint64_t, uint64_t*, uint64_t*) override { return S_OK; }
    HResult LUMO_CALL Commit(uint32_t) override { return S_OK; }
    HResult LUMO_CALL Revert() override { return S_OK; }
    HResult LUMO_CALL LockRegion(uint64_t, uint64_t, uint32_t) override { return S_OK; }
    HResult LUMO_CALL UnlockRegion(uint64_t, uint64_t, uint32_t) override { return S_OK; }
    HResult LUMO_CALL Stat(StatStg*, uint32_t) override { return S_OK; }
    HResult LUMO_CALL Clone(IStream**) override { return S_OK; }

    uint32_t m_refCount = 1;
    bool m_answersAll;
};

} // namespace

TEST(HeapStreamTest, EmptyStreamHas4000BytesOfRoomBeforeItMoves)
{
    StreamPtr stream(Help().CreateHeapStream(0));
    ApiRef<DataApi> data = DataOn(*stream);
    const uint8_t* buffer = data->GetBytes();
    ASSERT_NE(buffer, nullptr);
    for (uint32_t i = 0; i < 4000; ++i) {
        const uint8_t byte = uint8_t(i * 7);
        ASSERT_EQ(stream->Write(&byte, 1, nullptr), S_OK);
        ASSERT_EQ(data->GetBytes(), buffer) << "moved after " << i + 1 << " bytes";
    }
    ASSERT_EQ(stream->Write("!", 1, nullptr), S_OK);
    ASSERT_EQ(data->GetSize(), 4001u);
    for (uint32_t i = 0; i < 4000; ++i)
        ASSERT_EQ(data->GetBytes()[i], uint8_t(i * 7)) << i;
    EXPECT_EQ(data->GetBytes()[4000], '!');
}

TEST(HeapStreamTest, GrowsOnlyWhenWrittenPastItsSize)
{
    StreamPtr stream(Help().CreateHeapStream(100));
    ApiRef<DataApi> data = DataOn(*stream);
    EXPECT_EQ(Text(*data), std::string(100, '\0'));
    const std::string chunk(50, 'x');
    stream->Seek(10, STREAM_SEEK_SET, nullptr);
    ASSERT_EQ(stream->Write(chunk.data(), 50, nullptr), S_OK);
    EXPECT_EQ(data->GetSize(), 100u);
    stream->Seek(90, STREAM_SEEK_SET, nullptr);
    uint32_t written = 0;
    ASSERT_EQ(stream->Write(chunk.data(), 20, &written), S_OK);
    EXPECT_EQ(written, 20u);
    EXPECT_EQ(data->GetSize(), 110u);
    EXPECT_EQ(Position(*stream), 110u);

    // Appending in small pieces well past the first capacity keeps every byte.
    std::string expected = Text(*data);
    for (int i = 0; expected.size() < 100000; ++i) {
        const std::string piece = std::to_string(i) + ",";
        ASSERT_EQ(stream->Write(piece.data(), uint32_t(piece.size()), nullptr), S_OK);
        expected += piece;
    }
    EXPECT_EQ(Text(*data), expected);
}

TEST(HeapStreamTest, SetSizeMovesThePositionBackAndRefusesMoreThan32Bits)
{
    StreamPtr stream(Help().CreateHeapStream(0));
    ApiRef<DataApi> data = DataOn(*stream);
    ASSERT_EQ(stream->Write("0123456789", 10, nullptr), S_OK);
    ASSERT_EQ(stream->SetSize(4), S_OK);
    EXPECT_EQ(Position(*stream), 4u);
    ASSERT_EQ(stream->SetSize(6), S_OK);
    EXPECT_EQ(Text(*data), std::string("0123\0\0", 6)); // not what the shrink cut off

    EXPECT_EQ(stream->SetSize((1ull << 32) + 1), STG_E_MEDIUMFULL);
    EXPECT_EQ(stream->Write("x", 0xFFFFFFFFu, nullptr), STG_E_MEDIUMFULL);
    EXPECT_EQ(data->GetSize(), 6u);
}

TEST(HeapStreamTest, NullBuffersAreRefused)
{
    StreamPtr stream(Help().CreateHeapStream(8));
    uint32_t count = 99;
    EXPECT_EQ(stream->Read(nullptr, 4, &count), STG_E_INVALIDPOINTER);
    EXPECT_EQ(stream->Write(nullptr, 4, &count), STG_E_INVALIDPOINTER);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(Position(*stream), 0u);
}

struct SeekCase {
    int64_t move;
    uint32_t origin;
    HResult result;
    uint64_t position; // afterwards; each case starts at 40 of 100
};

class SeekTest : public ::testing::TestWithParam<SeekCase> { };

TEST_P(SeekTest, StaysWithinZeroToSizeOrDoesNotMove)
{
    const SeekCase& c = GetParam();
    auto data = ByteData::Make(std::string(100, 'd'));
    StreamPtr streams[] = {StreamPtr(Help().CreateHeapStream(100)), StreamPtr(Help().CreateStreamOnData(data.Get()))};
    for (StreamPtr& stream : streams) {
        ASSERT_EQ(stream->Seek(40, STREAM_SEEK_SET, nullptr), S_OK);
        uint64_t reported = 12345;
        EXPECT_EQ(stream->Seek(c.move, c.origin, &reported), c.result);
        if (c.result == S_OK) {
            EXPECT_EQ(reported, c.position);
        }
        EXPECT_EQ(Position(*stream), c.position);
    }
}

INSTANTIATE_TEST_SUITE_P(ComHelp, SeekTest,
    ::testing::Values(SeekCase{100, STREAM_SEEK_SET, S_OK, 100},
        SeekCase{101, STREAM_SEEK_SET, STG_E_INVALIDPOINTER, 40},
        SeekCase{-1, STREAM_SEEK_SET, STG_E_INVALIDPOINTER, 40}, SeekCase{-40, STREAM_SEEK_CUR, S_OK, 0},
        SeekCase{-41, STREAM_SEEK_CUR, STG_E_INVALIDPOINTER, 40},
        SeekCase{61, STREAM_SEEK_CUR, STG_E_INVALIDPOINTER, 40}, SeekCase{-100, STREAM_SEEK_END, S_OK, 0},
        SeekCase{1, STREAM_SEEK_END, STG_E_INVALIDPOINTER, 40}, SeekCase{0, 3, STG_E_INVALIDFUNCTION, 40},
        // Only the low 32 bits of the move count.
        SeekCase{(1ll << 32) + 5, STREAM_SEEK_SET, S_OK, 5}, SeekCase{(1ll << 32) - 10, STREAM_SEEK_CUR, S_OK, 30}));

TEST(StreamOnDataTest, ReadsTheDataItKeepsAndRefusesToChangeIt)
{
    const int aliveBefore = ByteData::s_alive;
    auto data = ByteData::Make("hello");
    StreamPtr stream(Help().CreateStreamOnData(data.Get()));
    data.Reset();
    EXPECT_EQ(ByteData::s_alive, aliveBefore + 1);
    uint32_t count = 7;
    EXPECT_EQ(stream->Write("x", 1, &count), STG_E_ACCESSDENIED);
    EXPECT_EQ(stream->SetSize(2), STG_E_ACCESSDENIED);
    char text[8] = {};
    EXPECT_EQ(stream->Read(text, sizeof text, &count), S_OK);
    EXPECT_EQ(std::string(text, count), "hello");
    stream.reset();
    EXPECT_EQ(ByteData::s_alive, aliveBefore);

    LumoSetLastError(0);
    EXPECT_EQ(Help().CreateStreamOnData(nullptr), nullptr);
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(DataOnStreamTest, SharesTheStreamsBytesAndHoldsItsOwnReference)
{
    IStream* stream = Help().CreateHeapStream(0);
    EXPECT_EQ(stream->AddRef(), 2u); // the test's and the one handed over
    ApiRef<DataApi> data = ApiRef<DataApi>::Adopt(Help().CreateDataOnStream(stream));
    ASSERT_EQ(stream->Write("first", 5, nullptr), S_OK);
    EXPECT_EQ(Text(*data), "first");
    stream->Seek(0, STREAM_SEEK_SET, nullptr);
    ASSERT_EQ(stream->Write("F", 1, nullptr), S_OK);
    EXPECT_EQ(Text(*data), "First");
    EXPECT_EQ(stream->AddRef(), 3u); // the test's, the data's and this one
    stream->Release();
    data.Reset();
    EXPECT_EQ(stream->Release(), 0u);

    auto bytes = ByteData::Make("xyz");
    data.Reset(Help().CreateDataOnStream(Help().CreateStreamOnData(bytes.Get())));
    EXPECT_EQ(data->GetBytes(), bytes->GetBytes());
    EXPECT_EQ(data->GetSize(), 3u);
}

TEST(DataOnStreamTest, ForeignStreamsAreRefusedAndReleased)
{
    for (bool answersAll : {false, true}) {
        ForeignStream foreign(answersAll);
        foreign.AddRef(); // handed over
        LumoSetLastError(0);
        EXPECT_EQ(Help().CreateDataOnStream(&foreign), nullptr);
        EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(foreign.m_refCount, 1u) << answersAll;
    }
    LumoSetLastError(0);
    EXPECT_EQ(Help().CreateDataOnStream(nullptr), nullptr);
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(ComStreamTest, AnswersItsInterfacesWithItselfAndNothingElse)
{
    StreamPtr stream(Help().CreateHeapStream(0));
    const Guid zero = {};
    for (const Guid* iid : {&zero, &IID_IUnknown, &IID_ISequentialStream, &IID_IStream}) {
        void* object = nullptr;
        EXPECT_EQ(stream->QueryInterface(*iid, &object), S_OK);
        EXPECT_EQ(object, stream.get());
        EXPECT_EQ(stream->Release(), 1u); // the answer carried a reference
    }
    void* object = stream.get();
    EXPECT_EQ(stream->QueryInterface({1, 2, 3, {4}}, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_NE(stream->QueryInterface(IID_IStream, nullptr), S_OK);
}
