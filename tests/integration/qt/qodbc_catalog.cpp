// A Qt application on the driver through QODBC: connects with the
// data source name (or connection string) given as argv[1], lists the tables, the record of
// Invoices, and runs the query argv[2] (prepared, with argv[3] bound to its
// one marker, when given). Prints what it saw, one fact a line (VALUES: the
// query's first column, every row).
#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <cstdio>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3) return 2;
    int status = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QODBC", "cv");
        db.setDatabaseName(QString::fromUtf8(argv[1]));
        if (!db.open()) {
            std::printf("OPEN failed %s\n", db.lastError().text().toUtf8().constData());
            return 1;
        }
        std::printf("OPEN ok\n");
        const QStringList tables = db.tables(QSql::Tables);
        std::printf("TABLES %d %s\n", static_cast<int>(tables.size()), tables.join(",").toUtf8().constData());
        const QSqlRecord record = db.record("Invoices");
        QStringList fields;
        for (int i = 0; i < record.count(); i++) fields << record.fieldName(i);
        std::printf("RECORD %d %s\n", record.count(), fields.join(",").toUtf8().constData());
        QSqlQuery query(db);
        bool ran = false;
        if (argc > 3) {
            ran = query.prepare(QString::fromUtf8(argv[2]));
            query.addBindValue(QString::fromUtf8(argv[3]));
            ran = ran && query.exec();
        } else {
            ran = query.exec(QString::fromUtf8(argv[2]));
        }
        if (!ran) {
            std::printf("QUERY failed %s\n", query.lastError().text().toUtf8().constData());
            status = 1;
        } else {
            QStringList values;  // the first column of every row, in order
            while (query.next()) values << query.value(0).toString();
            std::printf("QUERY %d %s\n", static_cast<int>(values.size()),
                        values.isEmpty() ? "" : values.first().toUtf8().constData());
            std::printf("VALUES %s\n", values.join(",").toUtf8().constData());
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("cv");
    return status;
}
