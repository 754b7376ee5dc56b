/* Firebird 3 stored functions. */
set term ^;

create function VAT (AMOUNT numeric(15,2), RATE integer = 20)
returns numeric(15,2)
as
begin
  return AMOUNT * RATE / 100;
end^

create or alter function INITIALS (FULL_NAME varchar(100))
returns varchar(10)
as
  declare variable I integer = 1;
  declare variable R varchar(10) = '';
  declare variable PREV char(1) = ' ';
begin
  while (I <= char_length(FULL_NAME)) do
  begin
    if (PREV = ' ' and substring(FULL_NAME from I for 1) <> ' ') then
      R = R || upper(substring(FULL_NAME from I for 1));
    PREV = substring(FULL_NAME from I for 1);
    I = I + 1;
  end
  return R;
end^

set term ;^

CREATE TABLE INVOICE (
  ID INTEGER NOT NULL PRIMARY KEY,
  CLIENT VARCHAR(100),
  NET NUMERIC(15,2),
  TAX NUMERIC(15,2),
  SIGN VARCHAR(10)
);

INSERT INTO INVOICE (ID, CLIENT, NET) VALUES (1, 'john ronald smith', 100);
INSERT INTO INVOICE (ID, CLIENT, NET) VALUES (2, 'mary ann', 250.40);
UPDATE INVOICE SET TAX = VAT(NET), SIGN = INITIALS(CLIENT);
UPDATE INVOICE SET TAX = VAT(NET, 10) WHERE ID = 2;
COMMIT;
