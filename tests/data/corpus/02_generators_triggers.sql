-- Orders: keys from generators, filled in by BEFORE INSERT triggers.
-- Written the classic way: CREATE GENERATOR / SET GENERATOR, set term in lower case.

CREATE GENERATOR GEN_CUSTOMER_ID;
CREATE SEQUENCE SEQ_ORDER_ID START WITH 1000 INCREMENT BY 10;
SET GENERATOR GEN_CUSTOMER_ID TO 500;

CREATE TABLE CUSTOMER (
  ID INTEGER NOT NULL PRIMARY KEY,
  NAME VARCHAR(80) NOT NULL,
  CITY VARCHAR(40)
);

CREATE TABLE ORDERS (
  ID INTEGER NOT NULL PRIMARY KEY,
  CUSTOMER_ID INTEGER NOT NULL REFERENCES CUSTOMER (ID),
  AMOUNT NUMERIC(15,2) DEFAULT 0 NOT NULL,
  NOTE VARCHAR(200)
);

set term ^;

create trigger CUSTOMER_BI for CUSTOMER
active before insert position 0
as
begin
  if (new.ID is null) then
    new.ID = gen_id(GEN_CUSTOMER_ID, 1);
end^

create trigger ORDERS_BI for ORDERS
active before insert position 0
as
begin
  if (new.ID is null) then
    new.ID = next value for SEQ_ORDER_ID;
  new.NOTE = coalesce(new.NOTE, 'no note; none given');
end^

set term ;^

INSERT INTO CUSTOMER (NAME, CITY) VALUES ('Acme Ltd', 'London');
INSERT INTO CUSTOMER (NAME, CITY) VALUES ('Bolt & Nut', 'Leeds');
INSERT INTO ORDERS (CUSTOMER_ID, AMOUNT) VALUES (501, 120.50);
INSERT INTO ORDERS (CUSTOMER_ID, AMOUNT, NOTE) VALUES (502, 99.99, 'urgent');
INSERT INTO ORDERS (CUSTOMER_ID, AMOUNT) SELECT ID, 10 FROM CUSTOMER;
COMMIT WORK;
