// Writes the sample document that the demo and the tests show: a short
// contract of several pages with text, a table and raster pictures.
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QTextStream>

#include <cmath>

namespace {

constexpr int dpi = 300;
const QColor ink(0x22, 0x2b, 0x36);
const QColor accent(0x1f, 0x5f, 0x99);

int mm(double millimetres)
{
    return static_cast<int>(std::lround(millimetres / 25.4 * dpi));
}

QFont font(double points, bool bold = false)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

// A landscape photograph stand-in: pixels, not vector shapes, so the page
// carries a real embedded image.
QImage landscapePicture()
{
    QImage image(900, 420, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 420);
    sky.setColorAt(0, QColor(0x6f, 0xa8, 0xdc));
    sky.setColorAt(1, QColor(0xf3, 0xd9, 0xa4));
    painter.fillRect(image.rect(), sky);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xff, 0xe0, 0x82));
    painter.drawEllipse(QPointF(690, 130), 55, 55);
    const QColor hills[] = {QColor(0x5b, 0x8c, 0x5a), QColor(0x3f, 0x6e, 0x45), QColor(0x2c, 0x50, 0x34)};
    for (int layer = 0; layer < 3; ++layer) {
        QPainterPath path(QPointF(0, 420));
        for (int x = 0; x <= 900; x += 10)
            path.lineTo(x, 250 + layer * 45 + 40 * std::sin(x / (90.0 + layer * 40) + layer * 1.7));
        path.lineTo(900, 420);
        painter.setBrush(hills[layer]);
        painter.drawPath(path);
    }
    return image;
}

QImage barChartPicture()
{
    QImage image(900, 500, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0xcc, 0xcc, 0xcc), 2));
    for (int y = 60; y <= 440; y += 76)
        painter.drawLine(80, y, 860, y);
    const int values[] = {42, 58, 51, 73, 88, 95};
    const char *quarters[] = {"Q1", "Q2", "Q3", "Q4", "Q1", "Q2"};
    QFont labelFont(QStringLiteral("DejaVu Sans"));
    labelFont.setPixelSize(22);
    painter.setFont(labelFont);
    for (int i = 0; i < 6; ++i) {
        const int height = values[i] * 38 / 10;
        const QRect bar(110 + i * 125, 440 - height, 80, height);
        QLinearGradient fill(bar.topLeft(), bar.bottomLeft());
        fill.setColorAt(0, accent.lighter(140));
        fill.setColorAt(1, accent);
        painter.fillRect(bar, fill);
        painter.setPen(ink);
        painter.drawText(QRect(bar.x() - 20, 450, 120, 30), Qt::AlignCenter, QString::fromLatin1(quarters[i]));
        painter.drawText(QRect(bar.x() - 20, bar.y() - 34, 120, 30), Qt::AlignCenter,
                         QString::number(values[i]));
    }
    return image;
}

class SampleWriter
{
public:
    explicit SampleWriter(QPdfWriter &writer)
        : m_writer(writer)
        , m_painter(&writer)
    {
        m_painter.setRenderHint(QPainter::Antialiasing);
        m_painter.setRenderHint(QPainter::SmoothPixmapTransform);
    }

    void newPage()
    {
        footer();
        m_writer.newPage();
        ++m_page;
        m_y = 0;
    }

    void finish() { footer(); }

    void heading(const QString &text, double points = 15)
    {
        m_y += mm(3);
        write(text, font(points, true), accent);
        m_y += mm(2);
    }

    void paragraph(const QString &text)
    {
        write(text, font(10.5), ink);
        m_y += mm(3);
    }

    void picture(const QImage &image, const QString &caption)
    {
        const int width = pageWidth();
        const int height = width * image.height() / image.width();
        m_painter.drawImage(QRect(0, m_y, width, height), image);
        m_y += height + mm(2);
        write(caption, font(8.5), QColor(0x60, 0x68, 0x70));
        m_y += mm(4);
    }

    void table(const QList<QStringList> &rows)
    {
        const int rowHeight = mm(8);
        const int columns = rows.first().size();
        const int columnWidth = pageWidth() / columns;
        for (int r = 0; r < rows.size(); ++r) {
            const QRect row(0, m_y, pageWidth(), rowHeight);
            m_painter.fillRect(row, r == 0 ? accent : (r % 2 ? QColor(0xf2, 0xf5, 0xf8) : Qt::white));
            m_painter.setPen(r == 0 ? Qt::white : ink);
            m_painter.setFont(font(10, r == 0));
            for (int c = 0; c < columns; ++c)
                m_painter.drawText(QRect(c * columnWidth + mm(2), m_y, columnWidth - mm(4), rowHeight),
                                   Qt::AlignVCenter | (c == 0 ? Qt::AlignLeft : Qt::AlignRight),
                                   rows[r][c]);
            m_y += rowHeight;
        }
        m_y += mm(5);
    }

    void signatureLines(const QStringList &names)
    {
        m_y += mm(18);
        const int width = pageWidth() / names.size();
        m_painter.setPen(QPen(ink, mm(0.3)));
        for (int i = 0; i < names.size(); ++i) {
            const int left = i * width + mm(5);
            m_painter.drawLine(left, m_y, left + width - mm(10), m_y);
            m_painter.setFont(font(9));
            m_painter.drawText(QRect(left, m_y + mm(2), width - mm(10), mm(6)), Qt::AlignCenter, names[i]);
        }
    }

private:
    int pageWidth() const { return m_painter.viewport().width(); }

    void write(const QString &text, const QFont &textFont, const QColor &colour)
    {
        m_painter.setFont(textFont);
        m_painter.setPen(colour);
        const QRect area(0, m_y, pageWidth(), m_painter.viewport().height() - m_y);
        QRect used;
        m_painter.drawText(area, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text, &used);
        m_y += used.height();
    }

    void footer()
    {
        const int bottom = m_painter.viewport().height();
        m_painter.setPen(QPen(QColor(0xb0, 0xb8, 0xc0), mm(0.2)));
        m_painter.drawLine(0, bottom - mm(9), pageWidth(), bottom - mm(9));
        m_painter.setFont(font(8));
        m_painter.setPen(QColor(0x60, 0x68, 0x70));
        m_painter.drawText(QRect(0, bottom - mm(8), pageWidth(), mm(6)), Qt::AlignLeft | Qt::AlignVCenter,
                           QStringLiteral("Service agreement 2026/0147"));
        m_painter.drawText(QRect(0, bottom - mm(8), pageWidth(), mm(6)), Qt::AlignRight | Qt::AlignVCenter,
                           QStringLiteral("Page %1").arg(m_page));
    }

    QPdfWriter &m_writer;
    QPainter m_painter;
    int m_page = 1;
    int m_y = 0;
};

void writeSample(QPdfWriter &pdf)
{
    SampleWriter doc(pdf);
    doc.heading(QStringLiteral("Service Agreement No. 2026/0147"), 20);
    doc.paragraph(QStringLiteral(
        "This agreement is made between Northwind Surveying Ltd., Harbour Street 12, Riverton "
        "(the Contractor), and the Municipality of Old Mill, Market Square 1, Old Mill (the Client)."));
    doc.heading(QStringLiteral("1. Subject of the agreement"));
    doc.paragraph(QStringLiteral(
        "The Contractor shall survey the hillside parcels north of the river, prepare a digital "
        "terrain model and deliver a report with maps at a scale of 1:1000. The area covered by "
        "the survey is shown in the picture below."));
    doc.picture(landscapePicture(), QStringLiteral("Figure 1: The surveyed hillside seen from the river bank."));
    doc.paragraph(QStringLiteral(
        "The Client shall give the Contractor access to the parcels and hand over the existing "
        "cadastral records within five working days of signing."));
    doc.newPage();

    doc.heading(QStringLiteral("2. Price and payment"));
    doc.paragraph(QStringLiteral(
        "The total price is fixed at the amounts below. Each part is invoiced after its "
        "acceptance and is payable within thirty days of the invoice date."));
    doc.table({{QStringLiteral("Part"), QStringLiteral("Due"), QStringLiteral("Amount (EUR)")},
               {QStringLiteral("Field survey"), QStringLiteral("15 March"), QStringLiteral("18 400.00")},
               {QStringLiteral("Terrain model"), QStringLiteral("30 April"), QStringLiteral("9 250.00")},
               {QStringLiteral("Maps and report"), QStringLiteral("31 May"), QStringLiteral("6 800.00")},
               {QStringLiteral("Total"), QString(), QStringLiteral("34 450.00")}});
    doc.heading(QStringLiteral("3. Progress"));
    doc.paragraph(QStringLiteral(
        "The Contractor reports progress every quarter. The chart shows the share of parcels "
        "surveyed in comparable projects, in per cent, by quarter."));
    doc.picture(barChartPicture(), QStringLiteral("Figure 2: Parcels surveyed by quarter."));
    doc.newPage();

    doc.heading(QStringLiteral("4. Warranty"));
    doc.paragraph(QStringLiteral(
        "The Contractor warrants that the survey meets the accuracy of class 3 of the national "
        "standard. Defects reported within twelve months of acceptance are remedied free of charge."));
    doc.heading(QStringLiteral("5. Confidentiality"));
    doc.paragraph(QStringLiteral(
        "Both parties keep the records exchanged under this agreement confidential and use them "
        "only for its purpose. This duty outlasts the agreement by five years."));
    doc.heading(QStringLiteral("6. Final provisions"));
    doc.paragraph(QStringLiteral(
        "Changes to this agreement require a written amendment signed by both parties. The "
        "agreement takes effect on the day of the last signature."));
    doc.signatureLines({QStringLiteral("For the Contractor"), QStringLiteral("For the Client")});
    doc.finish();
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 2) {
        QTextStream(stderr) << "usage: make-sample-pdf <output.pdf>\n";
        return 2;
    }
    QPdfWriter pdf(arguments.at(1));
    pdf.setResolution(dpi);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(20, 20, 20, 15), QPageLayout::Millimeter);
    pdf.setTitle(QStringLiteral("Service Agreement No. 2026/0147"));
    pdf.setCreator(QStringLiteral("Quillmark sample generator"));
    writeSample(pdf);
    return 0;
}
