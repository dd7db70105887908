-- A small demo dictionary for the rate updater:
--   sdbsql --create --file engine/tools/demo.sql ~/SeavaneData/db/db.add
-- Record IDs have up to 15 digits (station x 100,000,000,000 + counter). A
-- numeric's length counts its sign position, so ID is NUMERIC(16,0).
CREATE TABLE CD_Currency (
  ID NUMERIC(16,0), SHORT CHAR(3), Description CHAR(40), UseOnBoard LOGICAL,
  FLDUPDATED TIMESTAMP, UPDATEDBYSTATION INTEGER, UPDATEDBYUSER CHAR(80), UPDATEDBYUSERID DOUBLE);
CREATE UNIQUE INDEX ID ON CD_Currency (ID);
CREATE INDEX SHORT ON CD_Currency (SHORT);
EXECUTE PROCEDURE sp_ModifyTableProperty('CD_Currency', 'TABLE_DEFAULT_INDEX', 'SHORT');

CREATE TABLE CD_ExchangeRates (
  ID NUMERIC(16,0), LocalCurrency CHAR(3), ForeignCurrency CHAR(3), ExchangeRate DOUBLE,
  SourceComment CHAR(60), LastUpdate TIMESTAMP,
  FLDUPDATED TIMESTAMP, UPDATEDBYSTATION INTEGER, UPDATEDBYUSER CHAR(80), UPDATEDBYUSERID DOUBLE);
CREATE UNIQUE INDEX ID ON CD_ExchangeRates (ID);
CREATE INDEX CURRPAIR ON CD_ExchangeRates (LocalCurrency, ForeignCurrency);

CREATE TABLE CD_ExchangeRateHistory (
  ID NUMERIC(16,0), LocalCurrency CHAR(3), ForeignCurrency CHAR(3), ExchangeRate DOUBLE,
  ValidUntil TIMESTAMP,
  FLDUPDATED TIMESTAMP, UPDATEDBYSTATION INTEGER, UPDATEDBYUSER CHAR(80), UPDATEDBYUSERID DOUBLE);
CREATE UNIQUE INDEX ID ON CD_ExchangeRateHistory (ID);

CREATE TABLE CD_ExchangeRatesBlockedUpdate (Currency1 CHAR(3), Currency2 CHAR(3));
CREATE INDEX PAIR ON CD_ExchangeRatesBlockedUpdate (Currency1, Currency2);

INSERT INTO CD_Currency (ID, SHORT, Description, UseOnBoard) VALUES
  (1, 'EUR', 'Euro', TRUE),
  (2, 'USD', 'US Dollar', TRUE),
  (3, 'GBP', 'Pound Sterling', TRUE),
  (4, 'CHF', 'Swiss Franc', FALSE),
  (5, 'JPY', 'Japanese Yen', FALSE);
INSERT INTO CD_ExchangeRatesBlockedUpdate VALUES ('EUR', 'GBP');
