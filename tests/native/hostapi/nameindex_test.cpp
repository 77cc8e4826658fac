// The name index behind FindMethod and FindProp: the same answers as the
// plain walk (localized name before English, first entry wins), made on
// first use, dropped when the class changes.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "hostapi/classreg.h"
#include "hostapi/nameindex.h"
#include "platform/platform.h"

namespace {

int32_t Walk(const TClassReg& reg, const std::u16string& name) {
    for (int32_t i = 0; i < reg.MethCount; ++i) {
        const TMethReg* m = reg.Method(i);
        if (platform::SameName(m->MethNameLoc, name) || platform::SameName(m->MethName, name)) return i;
    }
    return -1;
}

// English, localized: names that repeat across entries and across the two
// languages, so that only the order decides.
const char16_t* const Names[][2] = {
    {u"Open", u"Открыть"},  {u"Close", u"Открыть"}, {u"Open", u"Старт"},  {u"Старт", u"Open"},
    {u"Стоп", u"Close"},    {u"", u"Пусто"},        {u"Print", u""},      {u"Print", u"Печать"},
    {u"Печать", u"Print"},  {u"ConfirmKM", u"ПодтвердитьКМ"},
};

TEST(NameIndex, AnswersEveryNameAsTheWalkDoes) {
    TClassRegList list;
    TClassReg* reg = list.RegisterClass(nullptr, u"X", u"X");
    std::vector<std::u16string> asked = {u"Нет", u"open", u"Open ", u" Open", u"Ope", u"Opened", u"ConfirmK",
                                         u"confirmkm", std::u16string(u"Open\0x", 6)};
    for (const auto& n : Names) {
        reg->AddFunc(n[0], n[1], nullptr, 0);
        asked.push_back(n[0]);
        asked.push_back(n[1]);
    }
    for (const std::u16string& name : asked)
        EXPECT_EQ(reg->MethodIndex().Find(name), Walk(*reg, name)) << std::string(name.begin(), name.end());
    // Spelled out: the localized name of an earlier entry wins over the
    // English one of a later entry, and the first of equal names wins.
    EXPECT_EQ(reg->MethodIndex().Find(u"Открыть"), 0);
    EXPECT_EQ(reg->MethodIndex().Find(u"Open"), 0);
    EXPECT_EQ(reg->MethodIndex().Find(u"Старт"), 2);
    EXPECT_EQ(reg->MethodIndex().Find(u"Close"), 1);
    EXPECT_EQ(reg->MethodIndex().Find(u"Print"), 6);
    EXPECT_EQ(reg->MethodIndex().Find(u""), 5);
    EXPECT_EQ(reg->MethodIndex().Find(u"open"), -1);
    EXPECT_EQ(reg->MethodIndex().Count(), 10);
}

TEST(NameIndex, AMethodOrPropertyAddedAfterALookUpIsFound) {
    TClassRegList list;
    TClassReg* reg = list.RegisterClass(nullptr, u"X", u"X");
    reg->AddFunc(u"Open", u"Открыть", nullptr, 0);
    EXPECT_EQ(reg->MethodIndex().Find(u"Close"), -1);
    reg->AddFunc(u"Close", u"Закрыть", nullptr, 0);
    EXPECT_EQ(reg->MethodIndex().Find(u"Close"), 1);
    EXPECT_EQ(reg->MethodIndex().Find(u"Закрыть"), 1);

    EXPECT_EQ(reg->PropertyIndex().Find(u"Open"), -1) << "properties have their own names";
    reg->AddProp(u"Speed", u"Скорость", true, true, nullptr);
    EXPECT_EQ(reg->PropertyIndex().Find(u"Скорость"), 0);
    reg->AddProp(u"Open", u"Открыто", true, false, nullptr);
    EXPECT_EQ(reg->PropertyIndex().Find(u"Open"), 1);
    EXPECT_EQ(reg->MethodIndex().Find(u"Open"), 0);
}

TEST(NameIndex, ThreadsRacingToTheFirstLookUpAllGetTheAnswer) {
    for (int round = 0; round < 20; ++round) {
        TClassRegList list;
        TClassReg* reg = list.RegisterClass(nullptr, u"X", u"X");
        for (const auto& n : Names) reg->AddFunc(n[0], n[1], nullptr, 0);
        std::vector<int32_t> found(4, -2);
        std::vector<std::thread> threads;
        for (size_t t = 0; t < found.size(); ++t)
            threads.emplace_back([&, t] { found[t] = reg->MethodIndex().Find(u"Печать"); });
        for (std::thread& t : threads) t.join();
        for (int32_t f : found) EXPECT_EQ(f, 7);
        EXPECT_EQ(&reg->MethodIndex(), &reg->MethodIndex()) << "one index is published";
    }
}

}  // namespace
