// The CryptoAPI hashes: known digests, data given in pieces, and the calls' refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <wincrypt.h>

namespace {

std::string Hex(const BYTE* bytes, DWORD size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (DWORD i = 0; i < size; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

class CryptTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(
            CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT));
    }
    void TearDown() override { EXPECT_TRUE(CryptReleaseContext(provider_, 0)); }

    // The digest of the pieces hashed one after another, in hex.
    std::string Digest(ALG_ID algorithm, const std::vector<std::string>& pieces) {
        HCRYPTHASH hash = 0;
        EXPECT_TRUE(CryptCreateHash(provider_, algorithm, 0, 0, &hash));
        for (const std::string& piece : pieces) {
            EXPECT_TRUE(CryptHashData(hash, reinterpret_cast<const BYTE*>(piece.data()),
                                      DWORD(piece.size()), 0));
        }
        DWORD size = 0;
        EXPECT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, nullptr, &size, 0));
        std::vector<BYTE> value(size);
        EXPECT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, value.data(), &size, 0));
        EXPECT_TRUE(CryptDestroyHash(hash));
        return Hex(value.data(), size);
    }

    HCRYPTPROV provider_ = 0;
};

TEST_F(CryptTest, KnownDigests) {
    const std::string million(1000000, 'a');
    const struct {
        ALG_ID algorithm;
        std::vector<std::string> pieces;
        std::string digest;
    } cases[] = {
        {CALG_SHA_256, {"abc"}, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {CALG_SHA_256,
         {"a", "", "bc"},
         "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {CALG_SHA_256, {}, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {CALG_SHA_256,
         {million.substr(0, 300000), million.substr(300000)},
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {CALG_SHA_512,
         {"abc"},
         "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
         "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
        {CALG_SHA_512,
         {},
         "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce"
         "47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a538327af927da3e"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Digest(c.algorithm, c.pieces), c.digest) << c.pieces.size();
    }
}

TEST_F(CryptTest, RefusesWhatItCannotDo) {
    HCRYPTHASH hash = 0;
    SetLastError(0);
    EXPECT_FALSE(CryptCreateHash(provider_, 0x8003 /* MD5 */, 0, 0, &hash));
    EXPECT_EQ(GetLastError(), DWORD(NTE_BAD_ALGID));
    EXPECT_EQ(hash, 0u);
    EXPECT_FALSE(CryptCreateHash(0, CALG_SHA_256, 0, 0, &hash));

    ASSERT_TRUE(CryptCreateHash(provider_, CALG_SHA_256, 0, 0, &hash));
    DWORD size = 0;
    DWORD length = sizeof size;
    EXPECT_TRUE(CryptGetHashParam(hash, HP_HASHSIZE, reinterpret_cast<BYTE*>(&size), &length, 0));
    EXPECT_EQ(size, 32u);
    BYTE small[31];
    length = sizeof small;
    EXPECT_FALSE(CryptGetHashParam(hash, HP_HASHVAL, small, &length, 0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(length, 32u);
    // The value taken ends the hash: more data is refused, the value stays.
    BYTE value[32];
    length = sizeof value;
    ASSERT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, value, &length, 0));
    const BYTE byte = 'x';
    EXPECT_FALSE(CryptHashData(hash, &byte, 1, 0));
    EXPECT_EQ(GetLastError(), DWORD(NTE_BAD_HASH_STATE));
    BYTE again[32];
    ASSERT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, again, &length, 0));
    EXPECT_EQ(Hex(again, 32), Hex(value, 32));
    EXPECT_TRUE(CryptDestroyHash(hash));

    HCRYPTPROV keyed = 0;
    EXPECT_FALSE(CryptAcquireContextW(&keyed, u"container", nullptr, PROV_RSA_AES, 0));
    EXPECT_EQ(keyed, 0u);
}

} // namespace
