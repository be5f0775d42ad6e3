// Finite field arithmetic and the Reed-Solomon coder behind the QR encoder.
#include "mobile/qr/FiniteField.h"
#include "mobile/qr/ReedSolomon.h"

#include <QRandomGenerator>
#include <QTest>

#include <vector>

class TestQrField : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void gf256Tables();
    void refusals();
    void primeSeven();
    void fieldLaws_data();
    void fieldLaws();
    void generatorPolynomials_data();
    void generatorPolynomials();
    void versionOneMediumParity();
    void zeroDataZeroParity();
    void codeRefusals();
    void codewordsAreMultiplesOfGenerator_data();
    void codewordsAreMultiplesOfGenerator();
};

void TestQrField::gf256Tables() {
    clsFiniteField field;
    QVERIFY(field.InitField(256, 285, 2));
    QCOMPARE(field.Size(), 256);
    QCOMPARE(field.Polynomial(), 285);
    QCOMPARE(field.Generator(), 2);
    QCOMPARE(field.FieldExp(8), 29);
    QCOMPARE(field.FieldExp(255), 1);
    QCOMPARE(field.FieldExp(-1), field.FieldExp(254));
    QCOMPARE(field.FieldLog(2), 1);
    QCOMPARE(field.FieldLog(1), 0);
    QCOMPARE(field.FieldMultiply(128, 2), 29);
    QCOMPARE(field.FieldMultiplyDirect(128, 2), 29);
    // The powers of 2 run through every non-zero element once.
    std::vector<bool> seen(256, false);
    for (int i = 0; i < 255; ++i) {
        const int e = field.FieldExp(i);
        QVERIFY(e > 0 && e < 256);
        QVERIFY2(!seen[e], qPrintable(QString::number(i)));
        seen[e] = true;
        QCOMPARE(field.FieldLog(e), i);
    }
}

void TestQrField::refusals() {
    clsFiniteField field;
    QVERIFY(field.InitField(16, 19, 0));
    QVERIFY(!field.InitField(256, 0, 2));
    QVERIFY(!field.InitField(1, 0, 0));
    QVERIFY(!field.InitField(16385, 0, 0));
    QVERIFY(!field.InitField(16385, 0x402B, 2));
    QVERIFY(!field.InitField(256, 285, 256)); // a generator outside the field
    // The refused calls left GF(16) in place.
    QCOMPARE(field.Size(), 16);
    QCOMPARE(field.Polynomial(), 19);
    QCOMPARE(field.FieldMultiply(8, 2), 3);
}

void TestQrField::primeSeven() {
    clsFiniteField field;
    QVERIFY(field.InitField(7, 0, 0));
    QCOMPARE(field.Generator(), 3); // 2 has order 3 modulo 7
    QCOMPARE(field.Polynomial(), 7);
    QCOMPARE(field.FieldInverseDirect(3), 5);
    QCOMPARE(field.FieldInverse(3), 5);
    QCOMPARE(field.FieldNegate(3), 4);
    QCOMPARE(field.FieldNegate(0), 0);
    QCOMPARE(field.FieldAdd(5, 4), 2);
    QCOMPARE(field.FieldSubtract(2, 5), 4);
    QCOMPARE(field.FieldDivide(4, 0), 0);
    QCOMPARE(field.FieldDivideDirect(4, 0), 0);
}

void TestQrField::fieldLaws_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("polynomial");
    QTest::addColumn<int>("generator");
    QTest::addColumn<int>("expectedGenerator");
    QTest::newRow("GF(256) QR") << 256 << 285 << 2 << 2;
    QTest::newRow("GF(16) search") << 16 << 19 << 0 << 2;
    QTest::newRow("GF(16384) search") << 16384 << 0x402B << 0 << 2;
    QTest::newRow("GF(929) search") << 929 << 0 << 0 << 3;
    QTest::newRow("GF(8191) search") << 8191 << 0 << 0 << 17;
}

// Table and direct operations agree, and division, inverse and negation undo their counterparts.
void TestQrField::fieldLaws() {
    QFETCH(int, size);
    QFETCH(int, polynomial);
    QFETCH(int, generator);
    QFETCH(int, expectedGenerator);
    clsFiniteField field;
    QVERIFY(field.InitField(size, polynomial, generator));
    QCOMPARE(field.Generator(), expectedGenerator);
    QCOMPARE(field.FieldExp(size - 1), 1);
    QRandomGenerator random(size);
    for (int n = 0; n < 3000; ++n) {
        const int a = int(random.bounded(size));
        const int b = int(random.bounded(size));
        const int product = field.FieldMultiply(a, b);
        QCOMPARE(product, field.FieldMultiplyDirect(a, b));
        QCOMPARE(field.FieldDivide(a, b), field.FieldDivideDirect(a, b));
        QCOMPARE(field.FieldInverse(a), field.FieldInverseDirect(a));
        QCOMPARE(field.FieldSubtract(field.FieldAdd(a, b), b), a);
        QCOMPARE(field.FieldAdd(a, field.FieldNegate(a)), 0);
        if (b != 0) {
            QCOMPARE(field.FieldDivide(product, b), a);
        }
        if (a != 0) {
            QCOMPARE(field.FieldMultiply(a, field.FieldInverse(a)), 1);
            QCOMPARE(field.FieldExp(field.FieldLog(a)), a);
        }
    }
}

void TestQrField::generatorPolynomials_data() {
    QTest::addColumn<int>("eccLength");
    QTest::addColumn<QList<int>>("coefficients");
    QTest::newRow("m=1") << 1 << QList<int>{1, 1};
    QTest::newRow("m=10") << 10 << QList<int>{193, 157, 113, 95, 94, 199, 111, 159, 194, 216, 1};
}

void TestQrField::generatorPolynomials() {
    QFETCH(int, eccLength);
    QFETCH(QList<int>, coefficients);
    clsFiniteField field;
    QVERIFY(field.InitField(256, 285, 2));
    clsReedSolomon code;
    QVERIFY(code.InitCode(4, eccLength, &field, 2, 0));
    QCOMPARE(code.Field(), &field);
    QCOMPARE(code.Generator(), 2);
    QCOMPARE(code.FirstRoot(), 0);
    QList<int> actual;
    for (int i = 0; i <= eccLength + 1; ++i) {
        actual << code.GeneratorCoefficient(i);
    }
    coefficients << 0; // nothing above the top coefficient
    QCOMPARE(actual, coefficients);
}

void TestQrField::versionOneMediumParity() {
    clsFiniteField field;
    QVERIFY(field.InitField(256, 285, 2));
    clsReedSolomon code;
    QVERIFY(code.InitCode(16, 10, &field, 0, 0)); // alpha 0 takes the field's generator
    QCOMPARE(code.Generator(), 2);
    const QByteArray data = QByteArray::fromHex("10200C566180EC11EC11EC11EC11EC11");
    QCOMPARE(data.size(), 16);
    std::vector<int> symbols(26, 0);
    for (int i = 0; i < 16; ++i) {
        symbols[std::size_t(25 - i)] = static_cast<unsigned char>(data[i]);
    }
    const std::vector<int> before = symbols;
    QVERIFY(code.EncodeBlock(symbols));
    QByteArray parity;
    for (int j = 9; j >= 0; --j) {
        parity.append(char(symbols[std::size_t(j)]));
    }
    QCOMPARE(parity.toHex().toUpper(), QByteArray("A524D4C1ED36C7872C55"));
    QVERIFY(std::equal(before.begin() + 10, before.end(), symbols.begin() + 10)); // data untouched
}

void TestQrField::zeroDataZeroParity() {
    clsFiniteField field;
    QVERIFY(field.InitField(256, 285, 2));
    clsReedSolomon code;
    QVERIFY(code.InitCode(20, 30, &field, 2, 0));
    std::vector<int> symbols(50, 7);
    std::fill(symbols.begin() + 30, symbols.end(), 0);
    QVERIFY(code.EncodeBlock(symbols));
    QVERIFY(std::all_of(symbols.begin(), symbols.end(), [](int s) { return s == 0; }));
}

void TestQrField::codeRefusals() {
    clsFiniteField field;
    QVERIFY(field.InitField(256, 285, 2));
    clsReedSolomon code;
    QVERIFY(!code.InitCode(10, 10, nullptr, 2, 0)); // no field at all
    QVERIFY(code.InitCode(10, 4, &field, 2, 0));
    QVERIFY(!code.InitCode(1015, 10, nullptr, 2, 0)); // k + m = 1025
    QVERIFY(!code.InitCode(0, 10, nullptr, 2, 0));
    QVERIFY(!code.InitCode(10, 0, nullptr, 2, 0));
    QVERIFY(!code.InitCode(10, 10, nullptr, 2, -1));
    QCOMPARE(code.DataLength(), 10); // refusals changed nothing
    QCOMPARE(code.EccLength(), 4);
    QVERIFY(code.InitCode(1014, 10, nullptr, 0, 0)); // k + m = 1024, stored field and alpha
    QCOMPARE(code.Field(), &field);
    std::vector<int> tooShort(1023, 1);
    QVERIFY(!code.EncodeBlock(tooShort));
    QCOMPARE(tooShort.front(), 1);
    clsReedSolomon unset;
    std::vector<int> symbols(8, 0);
    QVERIFY(!unset.EncodeBlock(symbols));
}

void TestQrField::codewordsAreMultiplesOfGenerator_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("polynomial");
    QTest::addColumn<int>("alpha");
    QTest::addColumn<int>("firstRoot");
    QTest::addColumn<int>("dataLength");
    QTest::addColumn<int>("eccLength");
    QTest::newRow("GF(256) QR block") << 256 << 285 << 2 << 0 << 100 << 30;
    QTest::newRow("GF(256) first root 1") << 256 << 285 << 2 << 1 << 40 << 16;
    QTest::newRow("GF(929) alpha 3") << 929 << 0 << 3 << 1 << 50 << 8;
    QTest::newRow("GF(16384) long block") << 16384 << 0x402B << 2 << 3 << 900 << 124;
}

// Every encoded block, read as a polynomial, vanishes at all roots of the generator polynomial.
void TestQrField::codewordsAreMultiplesOfGenerator() {
    QFETCH(int, size);
    QFETCH(int, polynomial);
    QFETCH(int, alpha);
    QFETCH(int, firstRoot);
    QFETCH(int, dataLength);
    QFETCH(int, eccLength);
    clsFiniteField field;
    QVERIFY(field.InitField(size, polynomial, 0));
    clsReedSolomon code;
    QVERIFY(code.InitCode(dataLength, eccLength, &field, alpha, firstRoot));
    QRandomGenerator random(dataLength);
    std::vector<int> symbols(std::size_t(dataLength + eccLength), 0);
    for (int i = eccLength; i < dataLength + eccLength; ++i) {
        symbols[std::size_t(i)] = int(random.bounded(size));
    }
    QVERIFY(code.EncodeBlock(symbols));
    const int alphaLog = field.FieldLog(alpha);
    for (int r = 0; r < eccLength; ++r) {
        const int root = field.FieldExp(alphaLog * (firstRoot + r));
        int value = 0; // Horner from the highest coefficient
        for (int i = dataLength + eccLength - 1; i >= 0; --i) {
            value = field.FieldAdd(field.FieldMultiply(value, root), symbols[std::size_t(i)]);
        }
        QCOMPARE(value, 0);
    }
}

QTEST_APPLESS_MAIN(TestQrField)
#include "test_qr_field.moc"
