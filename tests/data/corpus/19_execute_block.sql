-- Generating reference data with EXECUTE BLOCK; its variables are PSQL
-- variables (:i below), not parameters.
CREATE TABLE CALENDAR (
  DAY_NO INTEGER NOT NULL PRIMARY KEY,
  IS_WEEKEND SMALLINT NOT NULL
);
CREATE TABLE SQUARES (N INTEGER, N2 INTEGER);

SET TERM ^ ;
EXECUTE BLOCK
AS
  DECLARE VARIABLE i INTEGER = 1;
BEGIN
  WHILE (i <= 14) DO
  BEGIN
    INSERT INTO CALENDAR (DAY_NO, IS_WEEKEND)
      VALUES (:i, IIF(MOD(:i, 7) IN (6, 0), 1, 0));
    i = i + 1;
  END
END^

execute block returns (total integer)
as
declare n integer;
begin
  total = 0;
  for select day_no from calendar where is_weekend = 1 into :n do
  begin
    insert into squares values (:n, :n * :n); -- :n is a variable here
    total = total + n;
  end
  suspend;
end^
SET TERM ; ^
COMMIT;
